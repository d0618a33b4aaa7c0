// tamro-pictures: renders the window to PNG files in the states the README
// shows, driving it as an operator would. It searches for real, so it runs
// on the host side of the lab (scripts/pictures.sh).
//
//   tamro-pictures --out DIR --on ADDRESS --off ADDRESS --model NAME [-- TEXT...]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "protocol/device_table.h"
#include "ui/dialog_services.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/qt/window_look.h"
#include "ui/setup_dialog.h"

namespace {

using tamro::ControlId;

tamro::DeviceTable deviceTable;

// The list entry ends in the address the device answered from.
int listRowOf(const tamro::Form& form, const QString& address) {
    const auto& entries = form.items(ControlId::deviceList);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (QString::fromStdString(entries[i]).endsWith(QStringLiteral(" / ") + address)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int modelPosition(const tamro::Form& form, const QString& name) {
    const auto& entries = form.items(ControlId::modelCombo);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (QString::fromStdString(entries[i]) == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tamro::qt::applyWindowLook(app);

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Directory for the pictures."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("on"), QStringLiteral("A device on the adapter's subnet."),
                      QStringLiteral("ADDRESS")});
    parser.addOption({QStringLiteral("off"), QStringLiteral("A device off the subnet."),
                      QStringLiteral("ADDRESS")});
    parser.addOption({QStringLiteral("model"),
                      QStringLiteral("A model chosen for the device on the subnet."),
                      QStringLiteral("NAME")});
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The window's command line."));
    parser.process(app);
    for (const char* required : {"out", "on", "off", "model"}) {
        if (!parser.isSet(QString::fromLatin1(required))) {
            std::fprintf(stderr, "tamro-pictures: --%s is required\n", required);
            return 2;
        }
    }
    const QDir out(parser.value(QStringLiteral("out")));
    const std::string commandLine = parser.positionalArguments().join(QLatin1Char(' ')).toStdString();

    // No box is expected on the way; one that comes is reported and closed so
    // that the run cannot hang on it.
    bool unexpectedMessage = false;
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&unexpectedMessage] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "tamro-pictures: message: %s\n", qPrintable(box->text()));
            unexpectedMessage = true;
            box->reject();
        }
    });
    boxWatch.start(50);

    tamro::SystemDialogServices services;
    tamro::qt::QtFrontEnd frontEnd;
    int status = 1;
    tamro::runApplication(frontEnd, services, deviceTable, commandLine, [&](tamro::SetupDialog& dialog) {
        tamro::qt::SetupWindow window(dialog.form());
        frontEnd.attach(&window);
        window.show();
        tamro::Form& form = dialog.form();
        const auto save = [&](const char* name) {
            window.mirrorForm();
            QApplication::processEvents();
            const QString path = out.filePath(QString::fromLatin1(name));
            if (!window.grab().save(path)) {
                std::fprintf(stderr, "tamro-pictures: cannot write %s\n", qPrintable(path));
                return false;
            }
            std::printf("%s\n", qPrintable(path));
            return true;
        };
        // What the window would do for the operator's clicks.
        const auto select = [&](const QString& address) {
            const int row = listRowOf(form, address);
            if (row < 0) {
                std::fprintf(stderr, "tamro-pictures: %s is not listed\n", qPrintable(address));
                return false;
            }
            form.userSelect(ControlId::deviceList, row);
            return true;
        };

        if (!save("1-start.png")) return;
        form.userClick(ControlId::searchButton);
        // The search runs on a worker; the window keeps answering meanwhile.
        while (frontEnd.workerRunning()) {
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        }
        if (!select(parser.value(QStringLiteral("on"))) || !save("2-device-on-subnet.png")) return;
        if (!select(parser.value(QStringLiteral("off"))) || !save("3-device-off-subnet.png")) return;
        const int model = modelPosition(form, parser.value(QStringLiteral("model")));
        if (model < 0) {
            std::fprintf(stderr, "tamro-pictures: no such model\n");
            return;
        }
        if (!select(parser.value(QStringLiteral("on")))) return;
        form.userSelect(ControlId::modelCombo, model);
        if (!save("4-model-fixes-port.png")) return;
        window.close();
        status = unexpectedMessage ? 1 : 0;
    });
    return status;
}
