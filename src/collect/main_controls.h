#pragma once
// The operations of the main window that the collection run and the member actions use. The
// application implements them on its widgets; every one may be called from any thread and
// takes effect on the user-interface thread, in call order. Those that give a value or change
// the number of rows return once carried out; the others may return as soon as they are queued.

#include <cstdint>
#include <optional>

#include "values/bytes.h"
#include "values/text.h"

class MainControls {
  public:
    virtual ~MainControls() = default;

    // 超级列表框1. Rows and columns are 0-based; -1 names no row.
    virtual int32_t ListInsertRow(const Text& firstCell) = 0;
    virtual void ListSetCellText(int32_t row, int32_t column, const Text& text) = 0;
    virtual Text ListGetCellText(int32_t row, int32_t column) = 0;
    virtual int32_t ListRowCount() = 0;
    virtual void ListClear() = 0;
    virtual int32_t ListSelectedRow() = 0;
    // 按钮1, the only button whose state changes.
    virtual void ButtonSetDisabled(bool disabled) = 0;
    // 标签1.
    virtual void LabelSetCaption(const Text& caption) = 0;
    // 图片框1.
    virtual void PictureSetImage(const Bytes& data) = 0;
    // A message box owned by no window; blocks the caller until it is closed. `type` takes the
    // Windows message-box flags; the caption "信息：" stands in when none is given. The result is
    // the closing button's identifier minus 1 (OK 0, Cancel 1, ... Yes 5, No 6).
    virtual int32_t ShowMessage(const Text& text, int32_t type = 0,
                                const std::optional<Text>& caption = std::nullopt) = 0;
};
