#pragma once

#include <QMetaType>
#include <QString>

// The savings shown on the preferences page. `sessionsAnalyzed` counts the user messages the
// estimate rests on, not sessions.
struct SavingsStat
{
    Q_GADGET
    Q_PROPERTY(qint64 totalTokensSaved MEMBER totalTokensSaved)
    Q_PROPERTY(qint64 sessionsAnalyzed MEMBER sessionsAnalyzed)
    Q_PROPERTY(double estimatedCostSaved MEMBER estimatedCostSaved)
    Q_PROPERTY(QString formattedTokensSaved READ formattedTokensSaved)
    Q_PROPERTY(QString formattedCostSaved READ formattedCostSaved)

public:
    qint64 totalTokensSaved = 0;
    qint64 sessionsAnalyzed = 0;
    double estimatedCostSaved = 0.0; // US dollars

    // 999, 1.5K, 2.3M: the unit follows the number, so 999,999 reads 1000.0K.
    [[nodiscard]] QString formattedTokensSaved() const;
    // $3.00, $0.015, $0.0030: more places as the amount shrinks.
    [[nodiscard]] QString formattedCostSaved() const;

    bool operator==(const SavingsStat &) const = default;
};

Q_DECLARE_METATYPE(SavingsStat)
