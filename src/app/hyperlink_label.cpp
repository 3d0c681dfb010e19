#include "app/hyperlink_label.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "app/ui_invoker.h"
#include "platform/shell.h"

HyperlinkLabel::HyperlinkLabel(const QString& text, const Text& target, QWidget* parent)
    : QWidget(parent), text_(text), target_(target) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

QColor HyperlinkLabel::TextColour() const {
    if (hover_)
        return QColor(49, 106, 197);
    if (visited_)
        return QColor(128, 0, 0);
    return QColor(0, 0, 255);
}

void HyperlinkLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(TextColour());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text_);
}

void HyperlinkLabel::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void HyperlinkLabel::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The answer comes from another thread, possibly after the label is gone.
    OpenWebAddress(target_.view(), [label = QPointer<HyperlinkLabel>(this)](bool opened) {
        RunOnUiThread([&] {
            if (label) {
                label->visited_ = opened;
                label->update();
            }
        });
    });
}
