#include "savings/SavingsStat.h"

QString SavingsStat::formattedTokensSaved() const
{
    const qint64 n = totalTokensSaved;
    if (n < 1000)
        return QString::number(n);
    if (n < 1000000)
        return QString::asprintf("%.1fK", static_cast<double>(n) / 1000.0);
    return QString::asprintf("%.1fM", static_cast<double>(n) / 1000000.0);
}

QString SavingsStat::formattedCostSaved() const
{
    const double c = estimatedCostSaved;
    if (c >= 1.0)
        return QString::asprintf("$%.2f", c);
    if (c >= 0.01)
        return QString::asprintf("$%.3f", c);
    return QString::asprintf("$%.4f", c);
}
