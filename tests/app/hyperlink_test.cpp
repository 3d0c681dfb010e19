#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <QTest>
#include <gtest/gtest.h>

#include "app/hyperlink_label.h"
#include "app/main_window.h"
#include "gui_helpers.h"
#include "platform/shell.h"

namespace {

const QColor kNormal(0, 0, 255);
const QColor kHover(49, 106, 197);
const QColor kVisited(128, 0, 0);

// Whether some painted pixel has exactly `colour`.
bool Paints(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

class HyperlinkTest : public testing::Test {
  protected:
    void SetUp() override {
        // Answers are given from another thread, as the browser programs' waiter does.
        SetWebAddressOpener([this](const std::string& address, OpenDone done) {
            opened_.push_back(address);
            answerers_.emplace_back([this, done = std::move(done), succeed = succeed_] {
                done(succeed);
                ++answered_;
            });
        });
        window_.ShowAfterCreated();
    }
    void TearDown() override {
        SetWebAddressOpener(nullptr);
        for (std::thread& answerer : answerers_)
            answerer.join();
    }

    HyperlinkLabel* Link(const char16_t* name) {
        auto* link = window_.findChild<HyperlinkLabel*>(QString::fromUtf16(name));
        EXPECT_NE(link, nullptr);
        return link;
    }
    void Press(HyperlinkLabel* link, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(link, button, {}, QPoint(5, 5));
        QTest::mouseRelease(link, button, {}, QPoint(5, 5));
        EXPECT_TRUE(PumpUntil([this] { return answered_ == int(answerers_.size()); }));
    }
    void ExpectPainted(HyperlinkLabel* link, const QColor& colour) {
        EXPECT_EQ(link->TextColour(), colour);
        EXPECT_TRUE(Paints(link, colour));
        for (const QColor& other : {kNormal, kHover, kVisited}) {
            if (other != colour) {
                EXPECT_FALSE(Paints(link, other));
            }
        }
    }

    MainWindow window_;
    bool succeed_ = true;
    std::vector<std::string> opened_;
    std::vector<std::thread> answerers_;
    std::atomic<int> answered_{0};
};

TEST_F(HyperlinkTest, VisitedOnlyAfterAnOpenThatSucceeded) {
    HyperlinkLabel* link = Link(u"超级链接框1");
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    ExpectPainted(link, kNormal);

    succeed_ = false;
    Press(link);
    ExpectPainted(link, kNormal);

    succeed_ = true;
    Press(link);
    ExpectPainted(link, kVisited);

    // A later failure removes the mark again.
    succeed_ = false;
    Press(link);
    ExpectPainted(link, kNormal);
    EXPECT_EQ(opened_, std::vector<std::string>(3, "http://okrane.example/"));
}

TEST_F(HyperlinkTest, OnlyTheLeftButtonOpens) {
    HyperlinkLabel* link = Link(u"超级链接框2");
    Press(link, Qt::RightButton);
    EXPECT_TRUE(opened_.empty());
    Press(link);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_NE(opened_[0].find("fromuid="), std::string::npos);
    EXPECT_NE(opened_[0].find(".example/"), std::string::npos);
}

TEST_F(HyperlinkTest, HoverWinsOverVisited) {
    HyperlinkLabel* link = Link(u"超级链接框2");
    Press(link);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(link, &enter);
    ExpectPainted(link, kHover);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    ExpectPainted(link, kVisited);
}

TEST(HyperlinkLifetime, AnswerForADestroyedLabelIsDropped) {
    OpenDone pending;
    SetWebAddressOpener([&](const std::string&, OpenDone done) { pending = std::move(done); });
    {
        MainWindow window;
        auto* link = window.findChild<HyperlinkLabel*>(QString::fromUtf16(u"超级链接框1"));
        QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
        ASSERT_TRUE(pending);
        // Another window keeps the hand-over alive; the label is gone.
    }
    MainWindow other;
    RunOnWorker([&] { pending(true); });
    SetWebAddressOpener(nullptr);
}

} // namespace
