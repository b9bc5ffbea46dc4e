#include "cli/PanelCommand.h"

#include "cli/Cli.h"
#include "cli/CliParser.h"
#include "panel/OffscreenPanel.h"
#include "panel/PanelHost.h"
#include "panel/PanelModel.h"

#include "panel/DemoHome.h"
#include "services/ApplicationIdentity.h"
#include "services/TerminationSignals.h"
#include "store/MCPConfigService.h"
#include "switching/ApplicationServices.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QTemporaryDir>

#include <cstring>

namespace {

constexpr int loadTimeoutMs = 30000;
constexpr int probeTimeoutMs = 120000;

// The scale factor must be in the environment before the application object exists.
void applyScaleEarly(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0) {
            bool ok = false;
            const double scale = QByteArray(argv[i + 1]).toDouble(&ok);
            if (ok && scale >= 1 && scale <= 4)
                qputenv("QT_SCALE_FACTOR", argv[i + 1]);
        }
    }
}

// QImage::save reports neither a failed write nor a failed close (a full disk, /dev/full): the
// picture is encoded in memory and written with every step checked. Returns why it failed.
QString savePng(const QImage &image, const QString &path)
{
    if (image.isNull())
        return QStringLiteral("the panel could not be rendered");
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return QStringLiteral("the picture could not be encoded");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(png) != png.size() ||
        !file.flush())
        return file.errorString();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return {};
}

int render(CliParser &parser, CliIO io)
{
    const QString file = parser.value(QStringLiteral("screenshot"));
    if (file.isEmpty())
        return parser.usageError(io, QStringLiteral("--screenshot FILE is required"));
    const QString page = parser.value(QStringLiteral("page"));
    if (page != QLatin1String("main") && page != QLatin1String("preferences"))
        return parser.usageError(io, QStringLiteral("--page is main or preferences"));
    bool scaleOk = false;
    const double scale = parser.value(QStringLiteral("scale")).toDouble(&scaleOk);
    // Written so that NaN, which fails every comparison, is refused too.
    if (!scaleOk || !(scale >= 1 && scale <= 4))
        return parser.usageError(io, QStringLiteral("--scale is a number from 1 to 4"));

    // --demo: the made-up home of the documentation instead of the user's files.
    QTemporaryDir demo;
    if (parser.isSet(QStringLiteral("demo"))) {
        DemoHome::activate(demo.path());
        if (!demo.isValid() || !DemoHome::populate()) {
            io.err << "quorlane panel: could not write the demo files\n";
            return ExitCode::failure;
        }
    }

    // After the demo home is in place: the services find their files where the home says.
    ApplicationServices services;
    MCPConfigService config;
    PanelHost host(services, &config);
    // The picture must not change the page the user's panel opens on.
    host.panel()->setPageOverride(page == QLatin1String("preferences") ? PanelState::preferences
                                                                       : PanelState::main);
    OffscreenPanel panel(host);
    if (!panel.root()) {
        io.err << "quorlane panel: " << panel.error() << '\n';
        return ExitCode::failure;
    }
    bool reloaded = false;
    QObject::connect(host.panel(), &PanelModel::reloaded, [&] { reloaded = true; });
    host.panel()->panelShown();
    if (!OffscreenPanel::waitUntil([&] { return reloaded; }, loadTimeoutMs)) {
        io.err << "quorlane panel: the configuration did not load in time\n";
        return ExitCode::failure;
    }
    if (parser.isSet(QStringLiteral("wait-probes")) &&
        !OffscreenPanel::waitUntil([&] { return !host.panel()->probesRunning(); }, probeTimeoutMs))
        io.err << "quorlane panel: some token estimates did not arrive in time\n";
    // Let pending redraws and animations of the last change settle.
    OffscreenPanel::waitUntil([] { return false; }, 300);
    const QImage image = panel.grab();
    if (const QString failure = savePng(image, file); !failure.isEmpty()) {
        io.err << "quorlane panel: could not write " << file << ": " << failure << '\n';
        return ExitCode::failure;
    }
    io.out << file << '\n';
    return ExitCode::ok;
}

} // namespace

int runPanelCommand(int argc, char **argv)
{
    applyScaleEarly(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    OffscreenPanel::useSoftwareRenderer();
    QGuiApplication app(argc, argv);
    nameApplication();

    TerminationSignals::install(&TerminationSignals::exitFor);

    QTextStream out(stdout);
    QTextStream err(stderr);
    CliIO io{out, err};
    CliParser parser(
        QStringLiteral("panel"),
        QStringLiteral("Renders the panel over your configuration offscreen and writes it as a PNG."));
    parser.addOption(
        {QStringLiteral("screenshot"), QStringLiteral("Write the picture to FILE."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("page"), QStringLiteral("The page to show: main or preferences."),
                      QStringLiteral("PAGE"), QStringLiteral("main")});
    parser.addOption(
        {QStringLiteral("demo"), QStringLiteral("Show a made-up configuration instead of yours.")});
    parser.addOption(
        {QStringLiteral("wait-probes"), QStringLiteral("Wait until the token estimates arrive.")});
    parser.addOption({QStringLiteral("scale"), QStringLiteral("Device pixels per point (1 to 4)."),
                      QStringLiteral("N"), QStringLiteral("1")});
    QStringList arguments = app.arguments().mid(2);
    int code = ExitCode::ok;
    if (const auto exit = parser.parseOptionsOnly(arguments, io))
        code = *exit;
    else
        code = render(parser, io);
    return finishOutput(io, QStringLiteral("panel"), code);
}
