#pragma once
// MainWindow: the program's one top-level window with its seven controls, and the operations
// that the collection run and the member actions perform on them from any thread.

#include <atomic>

#include <QTimer>
#include <QWidget>

#include "app/ui_invoker.h"
#include "collect/main_controls.h"

class QLabel;
class QPushButton;
class QTableWidget;
class HyperlinkLabel;
class PictureBox;

class MainWindow : public QWidget, public MainControls {
    Q_OBJECT

  public:
    // Creates the window hidden, centred on the primary screen, with all its controls.
    MainWindow();

    // Raises WindowCreated, waits for its handler, then shows the window.
    void ShowAfterCreated();

    int32_t ListInsertRow(const Text& firstCell) override;
    void ListSetCellText(int32_t row, int32_t column, const Text& text) override;
    Text ListGetCellText(int32_t row, int32_t column) override;
    int32_t ListRowCount() override;
    void ListClear() override;
    int32_t ListSelectedRow() override;
    void ButtonSetDisabled(bool disabled) override;
    void LabelSetCaption(const Text& caption) override;
    void PictureSetImage(const Bytes& data) override;
    int32_t ShowMessage(const Text& text, int32_t type = 0,
                        const std::optional<Text>& caption = std::nullopt) override;

  signals:
    void WindowCreated();
    void StartClicked(); // 按钮1
    void OpenClicked();  // 按钮2
    // A row became the current row of 超级列表框1.
    void RowFocused();

  private:
    UiCallPump pump_;
    // The list's row count, for callers on other threads.
    std::atomic<int32_t> rowCount_{0};
    // Appending a row lays out and repaints the whole visible list. While a run keeps appending,
    // the list repaints when this goes off instead of after every row.
    QTimer listRepaint_;
    QPushButton* startButton_;
    QTableWidget* list_;
    PictureBox* picture_;
    QPushButton* openButton_;
    QLabel* label_;
};
