// The word-list editor in a real window under Xvfb, driven as a user would.
#include <qvstts/qvstts.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFont>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include "TempDir.h"
#include "WidgetFit.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

pid_t gXvfb = -1;
QApplication* gApp = nullptr;

// Starts Xvfb (found when the build was configured) on a free display it picks itself; false,
// with the reason, when it does not come up.
bool startXvfb(std::string* why) {
    const char* binary = XVFB_PROGRAM;
    int fds[2];
    if (pipe(fds) != 0) {
        *why = "no pipe for Xvfb's display number";
        return false;
    }
    gXvfb = fork();
    if (gXvfb == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(binary, "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
              "1024x768x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string display;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(fds[0]);
    if (display.empty()) {
        *why = std::string(binary) + " did not start";
        return false;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}

struct Notices {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;

    static void QVS_CALL post(void* context, QVS_WINDOW, uint32_t) {
        auto* self = static_cast<Notices*>(context);
        std::lock_guard lock(self->mutex);
        ++self->count;
        self->changed.notify_all();
    }
    bool waitFor(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return count >= n; });
    }
};

class LexiconDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string why;
        if (!startXvfb(&why)) {
            startFailure_ = why;
            return;
        }
        static int argc = 1;
        static char name[] = "qvstts_lexicon_dialog_tests";
        static char* argv[] = {name, nullptr};
        gApp = new QApplication(argc, argv);
    }

    static void TearDownTestSuite() {
        delete gApp;
        gApp = nullptr;
        if (gXvfb > 0) {
            kill(gXvfb, SIGTERM);
            waitpid(gXvfb, nullptr, 0);
            gXvfb = -1;
        }
    }

    void SetUp() override {
        // A declared dependency that does not work is a broken machine, not a reason to skip.
        ASSERT_NE(gApp, nullptr) << startFailure_;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        setenv("QVSTTS_SINK", ("wav:" + (dir_ / "speech.wav").string()).c_str(), 1);
        setenv("QVSTTS_TRANSCRIPT", (dir_ / "transcript.txt").c_str(), 1);
        fs::create_directories(dir_ / "qvstts");
        std::ofstream(lexiconFile()) << "Brevon\tBreevon\n";
        QVS_SetPostMessageProc(&Notices::post, &notices_);
        ASSERT_EQ(QVS_Init(0xA2000), QVS_OK);
    }

    void TearDown() override {
        if (!gApp) return;
        QVS_Close();
        QVS_SetPostMessageProc(nullptr, nullptr);
        unsetenv("QVSTTS_TRANSCRIPT");
    }

    fs::path lexiconFile() const { return dir_ / "qvstts" / "woordenlijst.txt"; }

    std::string read(const fs::path& file) const {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Runs QVS_Lexicon over owner while act drives the dialog once it is up.
    int32_t runDialog(QWidget* owner, std::function<void(QWidget*)> act) {
        bool acted = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (acted || !dialog || dialog->objectName() != "qvsLexicon") return;
            acted = true;
            act(dialog);
        });
        poll.start();
        QTimer::singleShot(10s, [&] {
            if (QWidget* d = QApplication::activeModalWidget()) d->close(); // never hang
        });
        const int32_t rc = QVS_Lexicon(owner);
        EXPECT_TRUE(acted) << "the dialog never came up";
        return rc;
    }

    static QPushButton* dialogButton(QWidget* dialog, QDialogButtonBox::StandardButton which) {
        return dialog->findChild<QDialogButtonBox*>()->button(which);
    }

    Notices notices_;
    testsupport::TempDir temp_{"qvstts-dialog"};
    const fs::path dir_ = temp_.Path();
    static std::string startFailure_;
};

std::string LexiconDialog::startFailure_;

TEST_F(LexiconDialog, AddsAWordOverItsOwnerAndUsesItForLaterSpeech) {
    QWidget owner;
    owner.setWindowTitle("Instellingen");
    owner.show();

    // The session's WAV grows by each text; a word replaced by a long phrase grows it more.
    QVS_Say(&owner, "Tolvani.");
    ASSERT_TRUE(notices_.waitFor(1));
    const auto before = fs::file_size(dir_ / "speech.wav");

    const int32_t rc = runDialog(&owner, [&](QWidget* dialog) {
        EXPECT_EQ(dialog->parentWidget(), &owner);
        EXPECT_EQ(dialog->windowTitle(), "Woordenlijst");
        auto* table = dialog->findChild<QTableWidget*>("tblWords");
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 0)->text(), "Brevon");
        dialog->findChild<QPushButton*>("btAdd")->click();
        ASSERT_EQ(table->rowCount(), 2);
        table->item(1, 0)->setText(QString::fromUtf8("Tolvani"));
        table->item(1, 1)->setText(QString::fromUtf8("een heel erg lange uitspraak van één naam"));
        table->setCurrentCell(1, 1);
        dialog->findChild<QPushButton*>("btListen")->click();
        dialogButton(dialog, QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(rc, QVS_OK);
    const std::string saved = read(lexiconFile());
    EXPECT_NE(saved.find("Brevon\tBreevon\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Tolvani\teen heel erg lange uitspraak van één naam\n"), std::string::npos)
        << saved;
    EXPECT_NE(
        read(dir_ / "transcript.txt").find("\tnone\teen heel erg lange uitspraak van één naam"),
        std::string::npos)
        << "Beluisteren speaks the pronunciation";

    QVS_Say(&owner, "Tolvani.");
    ASSERT_TRUE(notices_.waitFor(2));
    const auto after = fs::file_size(dir_ / "speech.wav");
    EXPECT_GT(after - before, 2 * (before - 44)) << "the new pronunciation is spoken at once";
}

TEST_F(LexiconDialog, CancelLeavesTheListAsItWas) {
    const std::string original = read(lexiconFile());
    const int32_t rc = runDialog(nullptr, [&](QWidget* dialog) {
        auto* table = dialog->findChild<QTableWidget*>("tblWords");
        table->setCurrentCell(0, 0);
        dialog->findChild<QPushButton*>("btRemove")->click();
        EXPECT_EQ(table->rowCount(), 0);
        dialogButton(dialog, QDialogButtonBox::Cancel)->click();
    });
    EXPECT_EQ(rc, QVS_OK);
    EXPECT_EQ(read(lexiconFile()), original);
}

TEST_F(LexiconDialog, ShowsEveryControlWholeFrom8To24Points) {
    const QFont usual = QApplication::font();
    for (int points = 8; points <= 24; ++points) {
        SCOPED_TRACE(std::to_string(points) + " pt");
        QFont font = usual;
        font.setPointSize(points);
        QApplication::setFont(font);
        const int32_t rc = runDialog(nullptr, [](QWidget* dialog) {
            testsupport::ExpectNothingClipped(dialog);
            dialogButton(dialog, QDialogButtonBox::Cancel)->click();
        });
        EXPECT_EQ(rc, QVS_OK);
    }
    QApplication::setFont(usual);
}

} // namespace
