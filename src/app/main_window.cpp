#include "app/main_window.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>

#include "app/hyperlink_label.h"
#include "app/message_box.h"
#include "app/picture_box.h"
#include "app/qt_text.h"
#include "platform/lifecycle.h"

namespace {

// The outer size of the fixed frame that holds the 452 x 372 client area; the centring uses it.
constexpr int kFrameWidth = 458;
constexpr int kFrameHeight = 400;
constexpr QSize kClientSize(452, 372);
constexpr QSize kPictureSize(110, 135);
constexpr int kColumnCount = 4;
// Rows still appear as they arrive, ten times a second, without a repaint for each one: painting
// the list after every row cost the user-interface thread as much as the whole run's requests.
constexpr int kListRepaintMilliseconds = 100;

QIcon DrawIcon() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 90, 170));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    // A "V" over a list of three rows.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(7, 6), QPointF(16, 19), QPointF(25, 6)}));
    painter.setPen(QPen(QColor(255, 210, 80), 2));
    for (int y : {23, 27})
        painter.drawLine(7, y, 25, y);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

// Shows a cell's whole text as a tooltip, but only when the cell cuts it off.
class CutOffTextTips : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty() && sizeHint(option, index).width() > option.rect.width())
            QToolTip::showText(event->globalPos(), text, view, option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

QTableWidget* CreateList(QWidget* parent) {
    auto* list = new QTableWidget(0, kColumnCount, parent);
    list->setHorizontalHeaderLabels({QStringLiteral("UID"), QStringLiteral(u"昵称"),
                                     QStringLiteral(u"性别"), QStringLiteral(u"相片地址")});
    const int widths[kColumnCount] = {80, 80, 50, 100};
    for (int column = 0; column < kColumnCount; ++column)
        list->setColumnWidth(column, widths[column]);
    QHeaderView* header = list->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setMinimumSectionSize(0);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setCornerButtonEnabled(false);
    list->setSortingEnabled(false);
    list->setShowGrid(true);
    list->setWordWrap(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::StyledPanel);
    list->setFrameShadow(QFrame::Sunken);
    list->setItemDelegate(new CutOffTextTips(list));

    QPalette colours = list->palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    // The selection stays, but is not drawn while the list lacks the focus.
    colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    list->setPalette(colours);
    return list;
}

QPushButton* CreateButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Places a control; its object name is the name under which the window's definition keeps it.
template <class Control> Control* Place(Control* control, const char16_t* name, QRect geometry) {
    control->setObjectName(QString::fromUtf16(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Brisvale_BY:Tovrin Ver:1.0.0"));
    setWindowIcon(DrawIcon());
    setFixedSize(kClientSize);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    move(screen.x() + (screen.width() - kFrameWidth) / 2,
         screen.y() + (screen.height() - kFrameHeight) / 2);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);

    // Created bottom first: a later sibling is stacked above an earlier one.
    startButton_ =
        Place(CreateButton(QStringLiteral(u"开始采集"), this), u"按钮1", QRect(336, 152, 104, 48));
    list_ = Place(CreateList(this), u"超级列表框1", QRect(8, 8, 320, 352));
    picture_ = Place(new PictureBox(this), u"图片框1", QRect(QPoint(336, 8), kPictureSize));
    openButton_ = Place(CreateButton(QStringLiteral(u"打开Velmora"), this), u"按钮2",
                        QRect(336, 208, 104, 48));
    label_ = Place(new QLabel(this), u"标签1", QRect(336, 259, 104, 40));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(new HyperlinkLabel(QStringLiteral(u"Okrane官网"), Text("http://okrane.example/"), this),
          u"超级链接框1", QRect(345, 306, 80, 24));
    Place(new HyperlinkLabel(QStringLiteral(u"Okrane论坛"),
                             Text("http://bbs.okrane.example/?fromuid=12345"), this),
          u"超级链接框2", QRect(344, 336, 80, 24));
    for (QWidget* passive : std::initializer_list<QWidget*>{picture_, label_})
        passive->setFocusPolicy(Qt::NoFocus);
    listRepaint_.setSingleShot(true);
    listRepaint_.setInterval(kListRepaintMilliseconds);
    connect(&listRepaint_, &QTimer::timeout, this, [this] { list_->setUpdatesEnabled(true); });

    connect(startButton_, &QPushButton::clicked, this, &MainWindow::StartClicked);
    connect(openButton_, &QPushButton::clicked, this, &MainWindow::OpenClicked);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!current.isValid() || current.row() == previous.row())
                    return;
                // The view selects the row only after making it current; the handler expects
                // both done, as a click or a key does them together.
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        if (list_->currentIndex().isValid())
                            emit RowFocused();
                    },
                    Qt::QueuedConnection);
            });
}

void MainWindow::ShowAfterCreated() {
    emit WindowCreated();
    show();
}

int32_t MainWindow::ListInsertRow(const Text& firstCell) {
    int32_t row = -1;
    RunOnUiThread([&] {
        if (!listRepaint_.isActive()) {
            list_->setUpdatesEnabled(false);
            listRepaint_.start();
        }
        const int end = list_->rowCount();
        list_->insertRow(end);
        list_->setItem(end, 0, new QTableWidgetItem(ToQString(firstCell)));
        rowCount_ = end + 1;
        row = end;
    });
    return row;
}

void MainWindow::ListSetCellText(int32_t row, int32_t column, const Text& text) {
    PostToUiThread([this, row, column, text] {
        if (row < 0 || row >= list_->rowCount() || column < 0 || column >= kColumnCount)
            return;
        if (QTableWidgetItem* cell = list_->item(row, column))
            cell->setText(ToQString(text));
        else
            list_->setItem(row, column, new QTableWidgetItem(ToQString(text)));
    });
}

Text MainWindow::ListGetCellText(int32_t row, int32_t column) {
    Text text;
    RunOnUiThread([&] {
        if (row < 0 || row >= list_->rowCount())
            return;
        if (const QTableWidgetItem* cell = list_->item(row, column))
            text = FromQString(cell->text());
    });
    return text;
}

int32_t MainWindow::ListRowCount() {
    if (OnUiThread())
        return list_->rowCount();
    // Rows change only through ListInsertRow and ListClear, which return once carried out, so
    // the mirror is what a hand-over would read, without the wait.
    return ProcessIsEnding() ? 0 : rowCount_.load();
}

void MainWindow::ListClear() {
    RunOnUiThread([&] {
        list_->setRowCount(0);
        rowCount_ = 0;
    });
}

int32_t MainWindow::ListSelectedRow() {
    int32_t row = -1;
    RunOnUiThread([&] {
        const QModelIndexList selected = list_->selectionModel()->selectedRows();
        if (!selected.isEmpty())
            row = selected.front().row();
    });
    return row;
}

void MainWindow::ButtonSetDisabled(bool disabled) {
    PostToUiThread([this, disabled] { startButton_->setDisabled(disabled); });
}

void MainWindow::LabelSetCaption(const Text& caption) {
    PostToUiThread([this, caption] { label_->setText(ToQString(caption)); });
}

void MainWindow::PictureSetImage(const Bytes& data) {
    // Decoding touches no widget, so a worker does it before the hand-over.
    const QImage image = DecodePicture(data, kPictureSize);
    PostToUiThread([this, image] { picture_->SetImage(image); });
}

int32_t MainWindow::ShowMessage(const Text& text, int32_t type,
                                const std::optional<Text>& caption) {
    if (OnUiThread()) {
        QMessageBox box;
        SetUpMessageBox(box, text, type, caption);
        box.exec();
        return MessageBoxResult(box);
    }
    // From a worker: a box that leaves the window usable, and only the worker waits for it.
    auto answer = std::make_shared<UiAnswer>();
    const bool shown = RunOnUiThread([&] {
        auto* box = new QMessageBox;
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        SetUpMessageBox(*box, text, type, caption);
        connect(box, &QMessageBox::finished, box,
                [box, answer] { answer->Deliver(MessageBoxResult(*box)); });
        box->show();
    });
    if (!shown)
        return -1;
    return answer->Wait().value_or(-1);
}
