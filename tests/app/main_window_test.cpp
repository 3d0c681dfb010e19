#include <functional>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include "app/hyperlink_label.h"
#include "app/main_window.h"
#include "app/picture_box.h"
#include "gui_helpers.h"
#include "jpeg_fixture.h"
#include "platform/codepage.h"

namespace {

QString Name(const char16_t* name) {
    return QString::fromUtf16(name);
}

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override { window_.ShowAfterCreated(); }

    template <class Control = QWidget> Control* Find(const char16_t* name) {
        auto* control = window_.findChild<Control*>(Name(name));
        EXPECT_NE(control, nullptr) << Name(name).toStdString();
        return control;
    }
    QTableWidget* List() { return Find<QTableWidget>(u"超级列表框1"); }
    void ClickRow(int row, int column = 0) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                          List()->visualRect(List()->model()->index(row, column)).center());
        QApplication::processEvents();
    }

    MainWindow window_;
};

TEST_F(MainWindowTest, WindowIsAFixedCentredFrame) {
    EXPECT_EQ(window_.windowTitle(), "Brisvale_BY:Tovrin Ver:1.0.0");
    EXPECT_EQ(window_.size(), QSize(452, 372));
    EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
    const Qt::WindowFlags flags = window_.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window_.pos(), QPoint((screen.width() - 458) / 2, (screen.height() - 400) / 2));
    EXPECT_TRUE(window_.windowIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(window_.palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
}

TEST_F(MainWindowTest, ControlsHaveTheirPlacesTextsAndFocusRules) {
    using Kind = std::function<QString(QWidget*)>; // the control's text, if it is of its kind
    const Kind button = [](QWidget* w) {
        auto* b = qobject_cast<QPushButton*>(w);
        return b ? b->text() : QStringLiteral("<not a push button>");
    };
    const Kind link = [](QWidget* w) {
        auto* l = dynamic_cast<HyperlinkLabel*>(w);
        return l ? l->text() : QStringLiteral("<not a hyperlink label>");
    };
    const Kind label = [](QWidget* w) {
        auto* l = qobject_cast<QLabel*>(w);
        return l ? l->text() : QStringLiteral("<not a label>");
    };
    const Kind list = [](QWidget* w) {
        return qobject_cast<QTableWidget*>(w) ? QString() : QStringLiteral("<not a list>");
    };
    const Kind picture = [](QWidget* w) {
        return dynamic_cast<PictureBox*>(w) ? QString() : QStringLiteral("<not a picture box>");
    };
    const struct {
        const char16_t* name;
        Kind kind;
        QRect geometry;
        const char16_t* text;
        bool takesFocus;
    } controls[] = {
        {u"超级链接框2", link, {344, 336, 80, 24}, u"Okrane论坛", false},
        {u"超级链接框1", link, {345, 306, 80, 24}, u"Okrane官网", false},
        {u"标签1", label, {336, 259, 104, 40}, u"", false},
        {u"按钮2", button, {336, 208, 104, 48}, u"打开Velmora", true},
        {u"图片框1", picture, {336, 8, 110, 135}, u"", false},
        {u"超级列表框1", list, {8, 8, 320, 352}, u"", true},
        {u"按钮1", button, {336, 152, 104, 48}, u"开始采集", true},
    };
    std::vector<QWidget*> expectedTopFirst;
    for (const auto& c : controls) {
        SCOPED_TRACE(Name(c.name).toStdString());
        QWidget* control = Find(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget(), &window_);
        EXPECT_EQ(c.kind(control), Name(c.text));
        EXPECT_EQ(control->geometry(), c.geometry);
        EXPECT_EQ(bool(control->focusPolicy() & Qt::TabFocus), c.takesFocus);
        EXPECT_TRUE(control->isVisible());
        EXPECT_TRUE(control->isEnabled());
        expectedTopFirst.push_back(control);
    }
    // Qt stacks later children above earlier ones.
    std::vector<QWidget*> stackedTopFirst;
    for (QObject* child : window_.children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow() == false)
            stackedTopFirst.insert(stackedTopFirst.begin(), w);
    EXPECT_EQ(stackedTopFirst, expectedTopFirst);

    for (const char16_t* name : {u"按钮1", u"按钮2"}) {
        auto* b = Find<QPushButton>(name);
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    auto* l = Find<QLabel>(u"标签1");
    EXPECT_TRUE(l->wordWrap());
    EXPECT_EQ(l->textFormat(), Qt::PlainText);
    EXPECT_EQ(l->alignment(), Qt::AlignLeft | Qt::AlignTop);
}

TEST_F(MainWindowTest, ListIsAReportWithFourColumns) {
    QTableWidget* list = List();
    ASSERT_EQ(list->columnCount(), 4);
    const struct {
        const char16_t* header;
        int width;
    } columns[] = {{u"UID", 80}, {u"昵称", 80}, {u"性别", 50}, {u"相片地址", 100}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->horizontalHeaderItem(i)->text(), Name(columns[i].header));
        EXPECT_EQ(list->columnWidth(i), columns[i].width);
    }
    EXPECT_EQ(list->horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
    EXPECT_TRUE(list->horizontalHeader()->isVisible());
    EXPECT_FALSE(list->verticalHeader()->isVisible());
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(list->frameShadow(), QFrame::Sunken);

    // A click on a header section changes neither the order nor the selection.
    for (const char* uid : {"30", "10", "20"})
        window_.ListInsertRow(Text(uid));
    ClickRow(1);
    ASSERT_EQ(window_.ListSelectedRow(), 1);
    QHeaderView* header = list->horizontalHeader();
    EXPECT_TRUE(header->sectionsClickable());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
    EXPECT_EQ(window_.ListGetCellText(0, 0), Text("30"));
    EXPECT_EQ(window_.ListGetCellText(1, 0), Text("10"));
    EXPECT_EQ(window_.ListSelectedRow(), 1);
}

TEST_F(MainWindowTest, StartsEmpty) {
    EXPECT_EQ(window_.ListRowCount(), 0);
    EXPECT_EQ(window_.ListSelectedRow(), -1);
    EXPECT_TRUE(Find<QLabel>(u"标签1")->text().isEmpty());
    EXPECT_TRUE(Find<PictureBox>(u"图片框1")->image().isNull());
    EXPECT_TRUE(Find(u"按钮1")->isEnabled());
    EXPECT_TRUE(Find(u"按钮2")->isEnabled());
}

// Every operation's results, the same from the user-interface thread and from a worker.
class OperationsTest : public MainWindowTest, public testing::WithParamInterface<bool> {
  protected:
    void Run(const std::function<void()>& work) {
        if (GetParam())
            RunOnWorker(work);
        else
            work();
    }
};

TEST_P(OperationsTest, ListEdgesGiveTheirResults) {
    const Text longCell(std::string(600, 'x') + "end");
    const Text chinese = Text(Utf8ToGbk("张三"));
    Run([&] {
        EXPECT_EQ(window_.ListInsertRow(Text("1001")), 0);
        EXPECT_EQ(window_.ListInsertRow(Text()), 1);
        window_.ListSetCellText(0, 1, chinese);
        window_.ListSetCellText(0, 3, longCell);
        window_.ListSetCellText(1, 2, Text("f"));
        window_.ListSetCellText(2, 0, Text("missing row"));
        window_.ListSetCellText(-1, 0, Text("no row"));
        window_.ListSetCellText(0, 4, Text("no column"));
        EXPECT_EQ(window_.ListGetCellText(0, 0), Text("1001"));
        EXPECT_EQ(window_.ListGetCellText(0, 1), chinese);
        EXPECT_EQ(window_.ListGetCellText(0, 3), longCell);
        EXPECT_EQ(window_.ListGetCellText(0, 2), Text());
        EXPECT_EQ(window_.ListGetCellText(1, 0), Text());
        EXPECT_EQ(window_.ListGetCellText(1, 2), Text("f"));
        EXPECT_EQ(window_.ListGetCellText(-1, 0), Text());
        EXPECT_EQ(window_.ListGetCellText(2, 0), Text());
        EXPECT_EQ(window_.ListRowCount(), 2);
        EXPECT_EQ(window_.ListSelectedRow(), -1);
        window_.ListSetCellText(0, 1, Text());
        EXPECT_EQ(window_.ListGetCellText(0, 1), Text());
    });
    EXPECT_EQ(List()->rowCount(), 2);
    EXPECT_TRUE(List()->selectionModel()->selectedRows().isEmpty());

    Run([&] {
        window_.ListClear();
        EXPECT_EQ(window_.ListRowCount(), 0);
        window_.ListClear();
        EXPECT_EQ(window_.ListRowCount(), 0);
        EXPECT_EQ(window_.ListInsertRow(Text("again")), 0);
    });
    EXPECT_EQ(List()->rowCount(), 1);
}

TEST_P(OperationsTest, RowsAppearInCallOrder) {
    Run([&] {
        for (int i = 0; i < 200; ++i) {
            const int row = window_.ListInsertRow(IntToText(i));
            window_.ListSetCellText(row, 1, TextConcat(Text("n"), IntToText(i)));
        }
    });
    ASSERT_EQ(List()->rowCount(), 200);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(List()->item(i, 0)->text(), QString::number(i));
        ASSERT_EQ(List()->item(i, 1)->text(), "n" + QString::number(i));
    }
}

TEST_P(OperationsTest, ButtonLabelAndPictureChange) {
    auto* start = Find<QPushButton>(u"按钮1");
    auto* label = Find<QLabel>(u"标签1");
    auto* picture = Find<PictureBox>(u"图片框1");
    const std::string jpeg = EncodeJpeg({20, 10});
    Run([&] {
        window_.ButtonSetDisabled(true);
        window_.LabelSetCaption(TextConcat(Text(Utf8ToGbk("已采集")), Text(" 3 & more")));
        window_.PictureSetImage(Bytes(jpeg));
    });
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(Find(u"按钮2")->isEnabled());
    EXPECT_EQ(label->text(), QString::fromUtf16(u"已采集 3 & more"));
    EXPECT_EQ(picture->image().size(), QSize(20, 10));
    Run([&] {
        window_.ButtonSetDisabled(false);
        window_.LabelSetCaption(Text());
        window_.PictureSetImage(Bytes("\xFF\xD8"));
    });
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_TRUE(picture->image().isNull());
}

TEST_P(OperationsTest, AppendedRowsArePaintedSoonAfterwards) {
    Run([&] {
        for (int i = 0; i < 50; ++i)
            window_.ListInsertRow(IntToText(i));
    });
    // Repainting is held back while rows keep coming, never for good.
    EXPECT_TRUE(PumpUntil([&] { return List()->updatesEnabled(); }));
    EXPECT_EQ(List()->rowCount(), 50);
}

INSTANTIATE_TEST_SUITE_P(Threads, OperationsTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Worker" : "UiThread"; });

TEST_F(MainWindowTest, RowFocusedOnlyWhenAnotherRowBecomesCurrent) {
    for (const char* uid : {"1", "2", "3"})
        window_.ListInsertRow(Text(uid));
    std::vector<int> selectedWhenRaised;
    QObject::connect(&window_, &MainWindow::RowFocused,
                     [&] { selectedWhenRaised.push_back(window_.ListSelectedRow()); });
    ClickRow(1);
    ClickRow(1, 2); // the same row, another cell
    ClickRow(2);
    QTest::keyClick(List(), Qt::Key_Up);
    QApplication::processEvents();
    EXPECT_EQ(selectedWhenRaised, (std::vector<int>{1, 2, 1}));

    // The selection stays while another control has the focus.
    Find(u"按钮2")->setFocus();
    EXPECT_EQ(window_.ListSelectedRow(), 1);

    window_.ListClear();
    window_.ListInsertRow(Text("4"));
    QApplication::processEvents();
    EXPECT_EQ(selectedWhenRaised.size(), 3u);
    EXPECT_EQ(window_.ListSelectedRow(), -1);
    ClickRow(0);
    EXPECT_EQ(selectedWhenRaised, (std::vector<int>{1, 2, 1, 0}));
}

TEST_F(MainWindowTest, ButtonsReportClicksOnlyWhenEnabled) {
    int starts = 0;
    int opens = 0;
    QObject::connect(&window_, &MainWindow::StartClicked, [&] { ++starts; });
    QObject::connect(&window_, &MainWindow::OpenClicked, [&] { ++opens; });
    QTest::mouseClick(Find(u"按钮1"), Qt::LeftButton);
    QTest::mouseClick(Find(u"按钮2"), Qt::LeftButton);
    window_.ButtonSetDisabled(true);
    QTest::mouseClick(Find(u"按钮1"), Qt::LeftButton);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(opens, 1);
}

TEST_F(MainWindowTest, CutOffCellShowsItsTextAsTooltip) {
    const std::string longUrl = "http://photos.example/" + std::string(80, 'p') + ".jpg";
    window_.ListInsertRow(Text("7"));
    window_.ListSetCellText(0, 3, Text(longUrl));
    auto tipAt = [&](int column) {
        QToolTip::hideText();
        const QRect cell = List()->visualRect(List()->model()->index(0, column));
        QHelpEvent event(QEvent::ToolTip, cell.center(),
                         List()->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(List()->viewport(), &event);
        return QToolTip::text();
    };
    // The short cell first: a tip once shown keeps its text while it fades.
    EXPECT_EQ(tipAt(0), QString());
    EXPECT_EQ(tipAt(3), QString::fromStdString(longUrl));
}

TEST(MainWindowCreation, WindowCreatedIsRaisedOnceBeforeShowing) {
    MainWindow window;
    std::vector<bool> visibleWhenRaised;
    QObject::connect(&window, &MainWindow::WindowCreated, [&] {
        visibleWhenRaised.push_back(window.isVisible());
        // The handler may already use the controls.
        EXPECT_EQ(window.ListInsertRow(Text("early")), 0);
    });
    EXPECT_FALSE(window.isVisible());
    window.ShowAfterCreated();
    EXPECT_EQ(visibleWhenRaised, std::vector<bool>{false});
    EXPECT_TRUE(window.isVisible());
}

} // namespace
