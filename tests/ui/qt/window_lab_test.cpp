// The window end to end on the host side of the lab, against the simulated
// devices: search, select, change, write, and the address probe. Run by
// scripts/lab.sh, which sets TAMRO_LAB_STATE to the simulator's state file.
#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>

#include "message_box_answerer.h"
#include "platform/ipv4.h"
#include "protocol/config_blocks.h"
#include "protocol/device_table.h"
#include "qt_test_main.h"
#include "ui/dialog_services.h"
#include "ui/qt/address_edit.h"
#include "ui/qt/qt_front_end.h"
#include "ui/qt/setup_window.h"
#include "ui/setup_dialog.h"

using tamro::ControlId;
using tamro::qt::AddressEdit;
using tamro::qt::SetupWindow;

namespace {

const QString writtenDevice = QStringLiteral("02-00-00-00-00-10 / 10.77.0.10");
const QString silentDevice = QStringLiteral("02-00-00-00-00-11 / 10.77.0.11");
const QString offSubnetDevice = QStringLiteral("02-00-00-00-56-78 / 172.16.5.9");

// A device's blocks as the simulator last stored them.
std::optional<tamro::ConfigurationBlocks> simulatorBlocks(const QString& mac) {
    QFile file(qEnvironmentVariable("TAMRO_LAB_STATE"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonArray devices = QJsonDocument::fromJson(file.readAll()).object()["devices"].toArray();
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        if (device["mac"].toString().compare(mac, Qt::CaseInsensitive) != 0) continue;
        tamro::ConfigurationBlocks blocks;
        const auto fill = [&device](const char* key, auto& block) {
            const QByteArray bytes = QByteArray::fromHex(device[QLatin1String(key)].toString().toLatin1());
            if (bytes.size() != static_cast<qsizetype>(block.size())) return false;
            std::copy(bytes.begin(), bytes.end(), block.begin());
            return true;
        };
        if (!fill("block0", blocks.block0) || !fill("block3", blocks.block3) ||
            !fill("block7", blocks.block7)) {
            return std::nullopt;
        }
        return blocks;
    }
    return std::nullopt;
}

std::optional<tamro::DeviceRecord> simulatorSettings(const QString& mac, const char* address) {
    const auto blocks = simulatorBlocks(mac);
    if (!blocks) return std::nullopt;
    tamro::DeviceRecord record;
    if (tamro::decodeConfiguration(*blocks, *tamro::parseDottedText(address), record) != 1) {
        return std::nullopt;
    }
    return record;
}

void chooseWithMouse(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(index, 0)).center());
    QTRY_VERIFY(!view->isVisible());
}

}  // namespace

class WindowLabTest : public QObject {
    Q_OBJECT

private:
    tamro::SystemDialogServices services_;
    std::unique_ptr<tamro::DeviceTable> devices_ = std::make_unique<tamro::DeviceTable>();
    tamro::qt::QtFrontEnd frontEnd_;
    std::unique_ptr<tamro::SetupDialog> dialog_;
    std::unique_ptr<SetupWindow> window_;
    std::unique_ptr<MessageBoxAnswerer> answerer_;

    template <class Widget>
    Widget* widget(ControlId id) const {
        return qobject_cast<Widget*>(window_->controlWidget(id));
    }
    QListWidget* list() const { return widget<QListWidget>(ControlId::deviceList); }

    QStringList listed() const {
        QStringList entries;
        for (int i = 0; i < list()->count(); ++i) entries.append(list()->item(i)->text());
        return entries;
    }

    void pressSearch() {
        QTest::mouseClick(widget<QPushButton>(ControlId::searchButton), Qt::LeftButton);
    }
    // Presses the search button and waits for the search's results.
    void search() {
        pressSearch();
        QVERIFY(QTest::qWaitFor(
            [this] { return !dialog_->searchRunning() && !frontEnd_.workerRunning(); }, 60000));
    }

    void select(const QString& entry) {
        const QList<QListWidgetItem*> found = list()->findItems(entry, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(found[0]).center());
        QCOMPARE(list()->currentItem(), found[0]);
    }

private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("TAMRO_LAB_STATE")) QSKIP("runs inside the lab only");
        dialog_ = std::make_unique<tamro::SetupDialog>(frontEnd_, services_, *devices_);
        dialog_->setCommandLine(TAMRO_SAMPLE_MODEL_FILE);
        QVERIFY(dialog_->initDialog());
        window_ = std::make_unique<SetupWindow>(dialog_->form());
        frontEnd_.attach(window_.get());
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QCOMPARE(widget<QComboBox>(ControlId::adapterCombo)->currentText(),
                 QStringLiteral("10.77.0.1 (veth0)"));
    }

    void init() { answerer_ = std::make_unique<MessageBoxAnswerer>(); }
    void cleanup() { answerer_.reset(); }

    void searchSelectChangeTheBaudRateAndWrite() {
        search();
        // The device of a type the tool does not take is not listed.
        QCOMPARE(listed(), (QStringList{writtenDevice, silentDevice, offSubnetDevice}));
        select(writtenDevice);
        auto* baud = widget<QComboBox>(ControlId::baudCombo);
        QCOMPARE(baud->currentText(), QStringLiteral("9600"));
        QCOMPARE(widget<QLabel>(ControlId::baudCurrent)->text(), QStringLiteral("9600"));
        QCOMPARE(widget<QLineEdit>(ControlId::portEdit)->text(), QStringLiteral("4001"));

        chooseWithMouse(baud, baud->findText(QStringLiteral("19200")));
        QTest::mouseClick(widget<QPushButton>(ControlId::writeButton), Qt::LeftButton);

        // Confirmation, then the worker's outcome; the entry leaves the list.
        QTRY_COMPARE_WITH_TIMEOUT(answerer_->texts().size(), 2, 10000);
        QCOMPARE(answerer_->texts(),
                 (QStringList{QStringLiteral("QZ-100に設定を書き込みます。"),
                              QStringLiteral("設定完了しました。\nデバイスを再起動します。")}));
        QTRY_COMPARE(listed(), (QStringList{silentDevice, offSubnetDevice}));
        QVERIFY(list()->isEnabled());
        QCOMPARE(list()->currentRow(), -1);
        QVERIFY(!window_->controlWidget(ControlId::writeButton)->isEnabled());
        QVERIFY(window_->controlWidget(ControlId::searchButton)->isEnabled());

        // The simulator holds the new rate and everything else as it was.
        const auto stored = simulatorSettings(QStringLiteral("02-00-00-00-00-10"), "10.77.0.10");
        QVERIFY(stored.has_value());
        QCOMPARE(stored->baudRate, 19200);
        QCOMPARE(stored->localPort, 4001);
        QCOMPARE(stored->keepAlive, 30);
        QCOMPARE(stored->parity, 1);
    }

    void aFailedWriteLeavesTheFormDisabled() {
        search();
        select(silentDevice);
        QVERIFY(window_->controlWidget(ControlId::writeButton)->isEnabled());
        QTest::mouseClick(widget<QPushButton>(ControlId::writeButton), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(answerer_->texts().size(), 2, 15000);
        QCOMPARE(answerer_->texts()[1], QStringLiteral("通信エラー"));
        QTRY_VERIFY(window_->controlWidget(ControlId::searchButton)->isEnabled());
        QVERIFY(!list()->isEnabled());
        QCOMPARE(list()->currentItem()->text(), silentDevice);
        for (const ControlId id : tamro::settingsControls) {
            QVERIFY2(!window_->controlWidget(id)->isEnabled(),
                     tamro::controlName(id).data());
        }
        // A new search brings the list back.
        search();
        QVERIFY(list()->isEnabled());
        QVERIFY(listed().contains(silentDevice));
    }

    void pingToAFreeAddressIsNotAnswered() {
        search();
        select(offSubnetDevice);
        auto* address = widget<AddressEdit>(ControlId::ipAddressCtrl);
        QCOMPARE(address->fields(), (AddressEdit::Fields{172, 16, 5, 9}));
        // Nobody holds this address in the lab.
        const int values[4] = {10, 77, 0, 200};
        for (int field = 0; field < 4; ++field) {
            QLineEdit* edit = address->field(field);
            edit->selectAll();
            QTest::keyClicks(edit, QByteArray::number(values[field]));
        }
        QCOMPARE(dialog_->form().text(ControlId::ipAddressCtrl), std::string("10.77.0.200"));
        QTest::mouseClick(widget<QPushButton>(ControlId::pingButton), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(answerer_->texts(),
                                  QStringList{QStringLiteral(
                                      "PINGに返答がありません。\nこのアドレスは設定可能と思われます。")},
                                  5000);
    }

    // The search runs on a worker: the window's event loop keeps turning
    // while discovery waits and dead devices time out. Prints the longest
    // wait between two ticks of a 10 ms timer.
    void aSearchLeavesTheWindowsEventLoopRunning() {
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            longestGap = std::max(longestGap, sinceTick.restart());
        });
        QElapsedTimer searchTime;
        searchTime.start();
        sinceTick.start();
        timer.start();
        pressSearch();
        QVERIFY(dialog_->searchRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->searchRunning() && !frontEnd_.workerRunning(), 60000);
        timer.stop();
        const qint64 elapsed = searchTime.elapsed();
        qInfo("search of %lld ms listing %d devices: %d ticks of 10 ms, longest event-loop stall "
              "%lld ms",
              elapsed, list()->count(), ticks, longestGap);
        QVERIFY(list()->count() > 0);
        QVERIFY(list()->isEnabled());
        // A loop that stood still for the search would have ticked a few times.
        QVERIFY(ticks > elapsed / 40);
    }

    void cleanupTestCase() {
        if (window_) window_->close();
        frontEnd_.waitForWorkers();
    }
};

TAMRO_QT_TEST_MAIN(WindowLabTest)
#include "window_lab_test.moc"
