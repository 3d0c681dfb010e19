#pragma once
// A window stand-in for the collection code: it keeps the list and label as plain values and
// records every call in order, so a test can check both the result and the sequence.

#include <mutex>
#include <string>
#include <vector>

#include "collect/main_controls.h"

class RecordingControls : public MainControls {
  public:
    int32_t ListInsertRow(const Text& firstCell) override {
        std::lock_guard lock(mutex_);
        calls.push_back("ListInsertRow " + firstCell.str());
        rows.push_back({firstCell, Text(), Text(), Text()});
        return static_cast<int32_t>(rows.size()) - 1;
    }
    void ListSetCellText(int32_t row, int32_t column, const Text& text) override {
        std::lock_guard lock(mutex_);
        calls.push_back("ListSetCellText " + std::to_string(row) + " " + std::to_string(column));
        if (row >= 0 && row < static_cast<int32_t>(rows.size()) && column >= 0 && column < 4)
            rows[row][column] = text;
    }
    Text ListGetCellText(int32_t row, int32_t column) override {
        std::lock_guard lock(mutex_);
        if (row >= 0 && row < static_cast<int32_t>(rows.size()) && column >= 0 && column < 4)
            return rows[row][column];
        return Text();
    }
    int32_t ListRowCount() override {
        std::lock_guard lock(mutex_);
        return static_cast<int32_t>(rows.size());
    }
    void ListClear() override {
        std::lock_guard lock(mutex_);
        calls.push_back("ListClear");
        rows.clear();
    }
    int32_t ListSelectedRow() override { return selectedRow; }
    void ButtonSetDisabled(bool disabled) override {
        std::lock_guard lock(mutex_);
        calls.push_back(disabled ? "ButtonSetDisabled 1" : "ButtonSetDisabled 0");
    }
    void LabelSetCaption(const Text& caption) override {
        std::lock_guard lock(mutex_);
        calls.push_back("LabelSetCaption");
        labels.push_back(caption);
    }
    void PictureSetImage(const Bytes& data) override {
        std::lock_guard lock(mutex_);
        calls.push_back("PictureSetImage");
        pictures.push_back(data);
    }
    int32_t ShowMessage(const Text& text, int32_t type,
                        const std::optional<Text>& caption) override {
        std::lock_guard lock(mutex_);
        calls.push_back("ShowMessage " + text.str() + " " + std::to_string(type) +
                        (caption ? " caption" : ""));
        return 0;
    }

    std::vector<std::vector<Text>> rows;
    std::vector<Text> labels;
    std::vector<Bytes> pictures;
    std::vector<std::string> calls;
    int32_t selectedRow = -1;

  private:
    std::mutex mutex_;
};
