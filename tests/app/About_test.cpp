// The about window at every font size from 8 to 24 pt, offscreen (also run at QT_SCALE_FACTOR
// 1.5 and 2): the picture and the whole button shown, the design's size at small fonts.
#include "AboutWindow.h"

#include <string>

#include <QApplication>
#include <QFont>
#include <QTimer>

#include <gtest/gtest.h>

#include "QtApplication.h"
#include "ShellFakes.h"
#include "WidgetFit.h"

namespace {

using namespace brevon;

class AboutAtFontSize : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { testsupport::EnsureQApplication(); }
    void SetUp() override {
        QFont font = usual_;
        font.setPointSize(GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override { QApplication::setFont(usual_); }
    QFont usual_ = (testsupport::EnsureQApplication(), QApplication::font());
};

TEST_P(AboutAtFontSize, ShowsThePictureAndTheWholeButton) {
    fakes::CallLog log;
    fakes::FakeSpeech speech(log);
    bool looked = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (!about) {
            ADD_FAILURE() << "the about window is not up";
            return;
        }
        looked = true;
        testsupport::ExpectNothingClipped(about);
        auto* picture = about->findChild<QLabel*>("Image1");
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->size(), QSize(201, 73));
        EXPECT_GE(about->width(), 242);
        EXPECT_GE(about->height(), 118);
        if (GetParam() <= 9) {
            EXPECT_EQ(about->size(), QSize(242, 118)) << "the design's size";
        }
        about->close();
    });
    QTimer::singleShot(5000, [] { // never hang
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    TfrmAbout::Run(speech);
    EXPECT_TRUE(looked);
}

INSTANTIATE_TEST_SUITE_P(Points, AboutAtFontSize, ::testing::Range(8, 25),
                         [](const ::testing::TestParamInfo<int>& size) {
                             return std::to_string(size.param) + "pt";
                         });

} // namespace
