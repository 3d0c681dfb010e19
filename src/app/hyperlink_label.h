#pragma once
// 超级链接框1 and 超级链接框2: a label that paints its own text and opens its web address in
// the browser on a left-button press.

#include <QColor>
#include <QWidget>

#include "values/text.h"

class HyperlinkLabel : public QWidget {
  public:
    HyperlinkLabel(const QString& text, const Text& target, QWidget* parent);

    QString text() const { return text_; }
    const Text& target() const { return target_; }
    // The colour of the text as it would be painted now: hover, then visited, then normal.
    QColor TextColour() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QString text_;
    Text target_;
    bool hover_ = false;
    bool visited_ = false;
};
