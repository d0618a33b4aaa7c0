// The Win32 dialog on a scripted host: the dialog runs on a thread of its
// own, as in the program, and the test drives it from outside with real
// messages, answering its message boxes.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "../ui/dialog_test_support.h"
#include "dialog_driver_win.h"
#include "platform/file_version_info.h"
#include "platform/wide_text_win.h"
#include "protocol/messages.h"
#include "ui/dialog_messages.h"
#include "ui/setup_dialog.h"
#include "ui/win32/setup_dialog_window.h"
#include "ui/win32/win32_front_end.h"

namespace tamro::testing {
namespace {

using win32::SetupDialogWindow;
using win32::Win32FrontEnd;

std::wstring wide(std::string_view text) { return wideFromUtf8(text); }

constexpr std::string_view twoModels =
    "Tamro,100\n"
    "Free,-1,1,-1,-1,-1,-1,-1,-1,1,-1,-1,-1,1,-1\n"
    "Fixed,10000,0,9,12,0,2,1,3,0,2,13,-1,0,2\n";

// The dialog as the program runs it, on its own thread, on a fake host.
class RunningDialog {
public:
    RunningDialog(FakeDialogServices& services, std::string commandLine)
        : services_(services), commandLine_(std::move(commandLine)) {
        thread_ = std::thread([this] { run(); });
    }
    ~RunningDialog() {
        if (!ended()) {
            const HWND dialog = window();
            if (dialog != nullptr) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            // A box left open would keep the dialog's thread.
            while (!waitForEnd(std::chrono::milliseconds(200))) {
                if (const HWND box = findOwnedBox(window())) ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            }
        }
        thread_.join();
    }

    // The dialog once it is shown, or nullptr when it ended first.
    HWND waitForWindow() {
        waitUntil([&] { return ended() || (window() != nullptr && ::IsWindowVisible(window())); });
        return ended() ? nullptr : window();
    }
    HWND window() const { return dialogWindow_.load(); }
    DWORD threadId() const { return threadId_.load(); }
    HWND control(ControlId id) const { return ::GetDlgItem(window(), controlNumber(id)); }

    bool ended() {
        const std::lock_guard lock(mutex_);
        return result_.has_value();
    }
    bool waitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        std::unique_lock lock(mutex_);
        return ended_.wait_for(lock, timeout, [&] { return result_.has_value(); });
    }
    INT_PTR result() {
        const std::lock_guard lock(mutex_);
        return result_.value_or(-99);
    }
    bool wasShown() const { return shown_.load(); }

    // Runs `task` on the dialog's thread, through the dialog's own message.
    void onDialogThread(const std::function<void()>& task) { frontEnd_.load()->runOnDialogThread(task); }
    std::vector<Handler> handlersRun() {
        std::vector<Handler> copy;
        onDialogThread([&] { copy = events_->handlers; });
        return copy;
    }
    template <class Read>
    auto read(Read readForm) {
        decltype(readForm(std::declval<const Form&>())) value{};
        onDialogThread([&] { value = readForm(dialog_->form()); });
        return value;
    }

private:
    void run() {
        threadId_ = ::GetCurrentThreadId();
        Win32FrontEnd frontEnd;
        DeviceTable* table = new DeviceTable();
        SetupDialog dialog(frontEnd, services_, *table, FileVersion{runningFileVersion()});
        DispatchRecorder events(dialog);
        dialog.form().setEvents(&events);
        if (!commandLine_.empty()) dialog.setCommandLine(commandLine_);
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        SetupDialogWindow window(dialog, frontEnd, ::LoadIconW(instance, MAKEINTRESOURCEW(128)));
        dialog_ = &dialog;
        events_ = &events;
        frontEnd_ = &frontEnd;
        // The dialog window counts once it shows.
        std::atomic<bool> running{true};
        std::thread watcher([&] {
            while (running) {
                for (const HWND w : threadWindows(threadId_)) {
                    if (className(w) == L"#32770" && ::GetWindow(w, GW_OWNER) == nullptr &&
                        windowText(w) == wide(setupDialogTemplate.title)) {
                        dialogWindow_ = w;
                        shown_ = true;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        const INT_PTR result = window.run(instance);
        running = false;
        watcher.join();
        frontEnd_ = nullptr;
        dialogWindow_ = nullptr;
        delete table;
        const std::lock_guard lock(mutex_);
        result_ = result;
        ended_.notify_all();
    }

    FakeDialogServices& services_;
    std::string commandLine_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> dialogWindow_{nullptr};
    std::atomic<bool> shown_{false};
    std::atomic<Win32FrontEnd*> frontEnd_{nullptr};
    SetupDialog* dialog_ = nullptr;
    DispatchRecorder* events_ = nullptr;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::optional<INT_PTR> result_;
};

class Win32DialogTest : public ::testing::Test {
protected:
    Win32DialogTest() {
        static int next = 0;
        directory = std::filesystem::temp_directory_path() /
                    ("tamro-win32-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(next++));
        std::filesystem::create_directories(directory);
        services.adapterRecords = {
            makeAdapter("Lab adapter", adapterAddress, adapterMask, "veth0"),
            makeAdapter("LAN adapter", secondAdapterAddress, adapterMask, "eth1"),
        };
        // No model file beside the "program": only the one named is read.
        services.programPath = (directory / "tamro.exe").string();
    }
    ~Win32DialogTest() override {
        dialog.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    std::string modelFile(std::string_view contents) {
        const auto path = directory / "models.dat";
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }

    HWND open(std::string commandLine) {
        dialog = std::make_unique<RunningDialog>(services, std::move(commandLine));
        return dialog->waitForWindow();
    }
    HWND openWithModels() { return open(modelFile(twoModels)); }

    HWND control(ControlId id) { return dialog->control(id); }

    // Search, then the user picks the first entry of the device list.
    void searchAndSelectFirst(std::vector<DeviceRecord> devices) {
        services.found = std::move(devices);
        postClick(control(ControlId::searchButton));
        const HWND list = control(ControlId::deviceList);
        ASSERT_TRUE(waitUntil([&] {
            return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0 && ::IsWindowEnabled(list);
        }));
        postKey(list, VK_HOME);
        ASSERT_TRUE(waitUntil([&] { return ::IsWindowEnabled(control(ControlId::writeButton)) != FALSE; }));
    }

    std::filesystem::path directory;
    FakeDialogServices services;
    std::unique_ptr<RunningDialog> dialog;
};

// --- start and end ------------------------------------------------------------

TEST_F(Win32DialogTest, OpensWithTheFormOfItsInitialisation) {
    const HWND window = openWithModels();
    ASSERT_NE(window, nullptr);

    for (const ControlId id : controlPinGroup) {
        EXPECT_FALSE(::IsWindowVisible(control(id))) << controlName(id);
    }
    for (const FixedList& list : fixedLists) {
        const HWND combo = control(list.control);
        ASSERT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(list.texts.size()))
            << controlName(list.control);
        for (std::size_t i = 0; i < list.texts.size(); ++i) {
            wchar_t entry[128] = {};
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            EXPECT_EQ(std::wstring(entry), wide(list.texts[i])) << controlName(list.control) << ' ' << i;
        }
        EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR) << controlName(list.control);
    }
    for (const ControlId id : settingsControls) {
        EXPECT_FALSE(::IsWindowEnabled(control(id))) << controlName(id);
    }
    for (const ControlId id : currentSettingTexts) {
        EXPECT_EQ(windowText(control(id)), L"") << controlName(id);
    }
    const HWND models = control(ControlId::modelCombo);
    EXPECT_EQ(::SendMessageW(models, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(models, CB_GETCURSEL, 0, 0), 0);
    const HWND adapters = control(ControlId::adapterCombo);
    wchar_t first[128] = {};
    ::SendMessageW(adapters, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_EQ(std::wstring(first), L"10.77.0.1 (Lab adapter)");
    EXPECT_EQ(::SendMessageW(adapters, CB_GETCURSEL, 0, 0), 0);
    // From the version resource this test program carries, as tamro.exe does.
    EXPECT_EQ(windowText(control(ControlId::versionText)), L"Version 1.00");
    EXPECT_TRUE(dialog->handlersRun().empty());
}

TEST_F(Win32DialogTest, CarriesTheApplicationIconBigSmallAndWhenDragged) {
    const HWND window = openWithModels();
    ASSERT_NE(window, nullptr);
    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), icon);
}

TEST_F(Win32DialogTest, NoAdapterSaysSoAndEndsWithMinusOneBeforeShowing) {
    services.adapterRecords.clear();
    dialog = std::make_unique<RunningDialog>(services, modelFile(twoModels));
    ASSERT_TRUE(waitUntil([&] { return dialog->threadId() != 0; }));
    // The box's owner is the dialog, which exists but is not shown yet.
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (const HWND w : threadWindows(dialog->threadId())) {
            if (::GetWindow(w, GW_OWNER) != nullptr) box = w;
        }
        return box != nullptr;
    }));
    const HWND owner = ::GetWindow(box, GW_OWNER);
    EXPECT_EQ(windowText(owner), wide(setupDialogTemplate.title));
    EXPECT_FALSE(::IsWindowVisible(owner));
    const MessageBoxSeen seen = waitForBox(owner);
    EXPECT_EQ(seen.text, wide(noAdapterMessage));
    EXPECT_FALSE(seen.hasCancel);
    ASSERT_TRUE(answerBox(seen, IDOK));
    ASSERT_TRUE(dialog->waitForEnd());
    EXPECT_EQ(dialog->result(), -1);
    EXPECT_FALSE(dialog->wasShown());
}

TEST_F(Win32DialogTest, AFailedModelFileEndsTheDialogWithoutAskingForAdapters) {
    dialog = std::make_unique<RunningDialog>(services, modelFile("Not a model file\n"));
    ASSERT_TRUE(waitUntil([&] { return dialog->threadId() != 0; }));
    // Whatever the loader says is answered; then the dialog ends unseen.
    int boxes = 0;
    while (!dialog->waitForEnd(std::chrono::milliseconds(300))) {
        for (const HWND w : threadWindows(dialog->threadId())) {
            if (const HWND owner = ::GetWindow(w, GW_OWNER)) {
                const MessageBoxSeen seen = waitForBox(owner);
                if (seen.box != nullptr && answerBox(seen, IDOK)) ++boxes;
            }
        }
        ASSERT_LT(boxes, 5);
    }
    EXPECT_EQ(dialog->result(), -1);
    EXPECT_FALSE(dialog->wasShown());
    EXPECT_EQ(services.enumerations, 0);
}

TEST_F(Win32DialogTest, EscapeTheCloseBoxAndEnterEndTheDialog) {
    // Escape reaches the dialog manager through the modal loop.
    ASSERT_NE(openWithModels(), nullptr);
    postKey(control(ControlId::adapterCombo), VK_ESCAPE);
    ASSERT_TRUE(dialog->waitForEnd());
    EXPECT_EQ(dialog->result(), IDCANCEL);

    const HWND window = openWithModels();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(dialog->waitForEnd());
    EXPECT_EQ(dialog->result(), IDCANCEL);

    // Enter with no push button focused: the dialog manager's OK command.
    ASSERT_NE(openWithModels(), nullptr);
    ::PostMessageW(dialog->window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(dialog->waitForEnd());
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_TRUE(services.searches.empty());
}

TEST_F(Win32DialogTest, EndingWhileAWorkerRunsWaitsForIt) {
    ASSERT_NE(openWithModels(), nullptr);
    services.found = {readDevice(10, Ipv4::fromOctets(10, 77, 0, 10))};
    services.holdWorker();
    postClick(control(ControlId::searchButton));
    services.waitForHeldWorker();
    // The modal loop keeps answering, and shows the busy form.
    EXPECT_TRUE(waitUntil([&] { return !::IsWindowEnabled(control(ControlId::searchButton)); }));
    ::PostMessageW(dialog->window(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(dialog->waitForEnd(std::chrono::milliseconds(500)));
    EXPECT_EQ(windowText(control(ControlId::searchButton)), wide("検索(&S)"));
    services.releaseWorker();
    ASSERT_TRUE(dialog->waitForEnd());
    EXPECT_EQ(dialog->result(), IDCANCEL);
    EXPECT_EQ(services.searches.size(), 1u);
}

// --- the user's actions -----------------------------------------------------------

TEST_F(Win32DialogTest, ASelectionByTheProgramRunsNoHandlerTheUsersDoes) {
    ASSERT_NE(openWithModels(), nullptr);
    const HWND adapters = control(ControlId::adapterCombo);
    ::SendMessageW(adapters, CB_SETCURSEL, 1, 0);
    ::SendMessageW(adapters, CB_SETCURSEL, 0, 0);
    const HWND models = control(ControlId::modelCombo);
    ::SendMessageW(models, CB_SETCURSEL, 1, 0);
    EXPECT_TRUE(dialog->handlersRun().empty());
    ::SendMessageW(models, CB_SETCURSEL, 0, 0);

    // The same choices by key: the control itself reports them.
    ::SendMessageW(adapters, WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(waitUntil([&] { return !dialog->handlersRun().empty(); }));
    EXPECT_EQ(dialog->handlersRun(), std::vector<Handler>{Handler::onAdapterChanged});
    EXPECT_EQ(dialog->read([](const Form& f) { return f.selection(ControlId::adapterCombo); }), 1);

    ::SendMessageW(models, WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(waitUntil([&] { return dialog->handlersRun().size() == 2; }));
    EXPECT_EQ(dialog->handlersRun().back(), Handler::applyModelConstraints);
    EXPECT_EQ(dialog->read([](const Form& f) { return f.selection(ControlId::modelCombo); }), 1);
}

TEST_F(Win32DialogTest, TheEditsTakeDigitsUpToTheirLimitsOnly) {
    ASSERT_NE(openWithModels(), nullptr);
    searchAndSelectFirst({readDevice(10, Ipv4::fromOctets(10, 77, 0, 10))});
    const HWND port = control(ControlId::portEdit);
    EXPECT_EQ(windowText(port), L"10001");
    ::SendMessageW(port, EM_SETSEL, 0, -1);
    typeText(port, L"4x2");
    EXPECT_EQ(windowText(port), L"42");
    typeText(port, L"a-+ ");
    EXPECT_EQ(windowText(port), L"42");
    typeText(port, L"1234");  // the sixth digit is refused
    EXPECT_EQ(windowText(port), L"42123");
    EXPECT_EQ(dialog->read([](const Form& f) { return f.text(ControlId::portEdit); }), "42123");

    const HWND remotePort = control(ControlId::remotePortEdit);
    if (::IsWindowEnabled(remotePort)) {
        ::SendMessageW(remotePort, EM_SETSEL, 0, -1);
        typeText(remotePort, L"987654");
        EXPECT_EQ(windowText(remotePort), L"98765");
    }

    const HWND keepAlive = control(ControlId::keepAliveEdit);
    ::SendMessageW(keepAlive, EM_SETSEL, 0, -1);
    typeText(keepAlive, L"6z53");
    EXPECT_EQ(windowText(keepAlive), L"65");
    EXPECT_EQ(dialog->read([](const Form& f) { return f.text(ControlId::keepAliveEdit); }), "65");
}

TEST_F(Win32DialogTest, TheDhcpCheckBoxClickRunsItsRuleOnce) {
    ASSERT_NE(openWithModels(), nullptr);
    searchAndSelectFirst({readDevice(10, Ipv4::fromOctets(10, 77, 0, 10))});
    const auto before = dialog->handlersRun().size();
    postClick(control(ControlId::dhcpCheck));
    ASSERT_TRUE(waitUntil([&] { return dialog->handlersRun().size() == before + 1; }));
    EXPECT_EQ(dialog->handlersRun().back(), Handler::applyDhcpState);
    EXPECT_TRUE(dialog->read([](const Form& f) { return f.checked(ControlId::dhcpCheck); }));
    EXPECT_EQ(::SendMessageW(control(ControlId::dhcpCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    // The rule switched the address fields off, on screen too.
    EXPECT_FALSE(::IsWindowEnabled(control(ControlId::ipAddressCtrl)));
}

TEST_F(Win32DialogTest, PingToAFreeAddressTypedByTheUserSaysNoAnswer) {
    ASSERT_NE(openWithModels(), nullptr);
    searchAndSelectFirst({readDevice(10, Ipv4::fromOctets(10, 77, 0, 10))});
    services.echoAnswer = 0;
    // The address as typed, field by field, reaches the probe.
    const HWND address = control(ControlId::ipAddressCtrl);
    ::SendMessageW(address, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 77, 0, 10));
    const std::vector<HWND> fields = win32::addressFieldEdits(address);
    ASSERT_EQ(fields.size(), 4u);
    ::SendMessageW(fields[3], EM_SETSEL, 0, -1);
    typeText(fields[3], L"40");

    postClick(control(ControlId::pingButton));
    const MessageBoxSeen seen = waitForBox(dialog->window());
    ASSERT_NE(seen.box, nullptr);
    EXPECT_EQ(seen.text, wide(pingNoAnswerMessage));
    EXPECT_EQ(seen.caption, L"tamro_win32_tests");
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasCancel);
    EXPECT_FALSE(seen.hasIcon);
    ASSERT_TRUE(answerBox(seen, IDOK));
    ASSERT_TRUE(waitUntil([&] { return ::IsWindowEnabled(control(ControlId::pingButton)) != FALSE; }));
    const auto targets = dialog->read([&](const Form&) { return services.echoTargets; });
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0], Ipv4::fromOctets(10, 77, 0, 40));
}

TEST_F(Win32DialogTest, WriteAsksFirstAndCancelWritesNothing) {
    ASSERT_NE(openWithModels(), nullptr);
    searchAndSelectFirst({readDevice(10, Ipv4::fromOctets(10, 77, 0, 10)),
                          readDevice(11, Ipv4::fromOctets(10, 77, 0, 11))});
    // The user moves the baud rate one down the list: 9600 -> 19200.
    const HWND baud = control(ControlId::baudCombo);
    ASSERT_EQ(::SendMessageW(baud, CB_GETCURSEL, 0, 0), 5);
    ::SendMessageW(baud, WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_EQ(::SendMessageW(baud, CB_GETCURSEL, 0, 0), 6);

    postClick(control(ControlId::writeButton));
    MessageBoxSeen seen = waitForBox(dialog->window());
    ASSERT_NE(seen.box, nullptr);
    EXPECT_EQ(seen.text, wide(modelWriteConfirmationMessage("Free")));
    EXPECT_TRUE(seen.hasOk);
    EXPECT_TRUE(seen.hasCancel);
    ASSERT_TRUE(answerBox(seen, IDCANCEL));
    EXPECT_TRUE(dialog->read([&](const Form&) { return services.writes; }).empty());

    postClick(control(ControlId::writeButton));
    seen = waitForBox(dialog->window());
    ASSERT_TRUE(answerBox(seen, IDOK));
    seen = waitForBox(dialog->window());
    ASSERT_NE(seen.box, nullptr);
    EXPECT_EQ(seen.text, wide(writeCompleteMessage));
    ASSERT_TRUE(answerBox(seen, IDOK));
    // The written entry leaves the list; the other stays.
    const HWND list = control(ControlId::deviceList);
    ASSERT_TRUE(waitUntil([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 1; }));
    const auto writes = dialog->read([&](const Form&) { return services.writes; });
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].device, Ipv4::fromOctets(10, 77, 0, 10));
    EXPECT_EQ(writes[0].controls.baudPosition, 6);
    EXPECT_EQ(writes[0].controls.baudText, "19200");
}

TEST_F(Win32DialogTest, AFailedWriteSaysWhyAndLeavesTheFormOff) {
    ASSERT_NE(openWithModels(), nullptr);
    searchAndSelectFirst({readDevice(10, Ipv4::fromOctets(10, 77, 0, 10))});
    services.writeOutcome = {0, communicationErrorMessage};
    postClick(control(ControlId::writeButton));
    ASSERT_TRUE(answerBox(waitForBox(dialog->window()), IDOK));
    const MessageBoxSeen seen = waitForBox(dialog->window());
    EXPECT_EQ(seen.text, wide(communicationErrorMessage));
    ASSERT_TRUE(answerBox(seen, IDOK));
    // Once the write is over the search is back; the form stays off, the
    // entry stays in the list.
    ASSERT_TRUE(waitUntil([&] { return ::IsWindowEnabled(control(ControlId::searchButton)) != FALSE; }));
    for (const ControlId id : formControls) {
        EXPECT_FALSE(::IsWindowEnabled(control(id))) << controlName(id);
    }
    EXPECT_EQ(::SendMessageW(control(ControlId::deviceList), LB_GETCOUNT, 0, 0), 1);
}

}  // namespace
}  // namespace tamro::testing

int main(int argc, char** argv) {
    // Wine draws on an X display; without one there is no dialog to drive.
    if (::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        std::fprintf(stderr, "no DISPLAY: skipped\n");
        return 77;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_INTERNET_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
