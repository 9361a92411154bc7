#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex {

// The protocol editor's heading fields, top to bottom. A field's number is
// part of its control's name ("Edit1", "Memo5", "ComboBoxEx9") and keys its
// input history, its place in the stored field text and the document's field
// name. The date has no number.
struct TProtocolFieldDef {
    int number;                     // -1 for the date picker
    std::string_view control;       // object name of the control
    std::string_view caption;       // text beside it
    std::string_view pickerTable;   // reference directory it picks from; empty: none
    bool multiSelect;               // several entries may be picked
    std::string_view pickerButton;  // the "..." button; empty: none
};
extern const std::array<TProtocolFieldDef, 13> kProtocolFieldDefs;
inline constexpr std::string_view kDateControl = "DateTimePicker1";

const TProtocolFieldDef* FindFieldDef(std::string_view control);

// The six lines the conclusion starts with, joined by CR LF.
extern const std::string kDefaultConclusion;

// The editor's fields as the protocol core reads and writes them. The window
// implements it over its controls; TProtocolFields is a plain one.
class IProtocolFields {
public:
    virtual ~IProtocolFields() = default;
    // Text of the control of that name; nullopt when there is none. A
    // multi-line field's lines are joined by CR LF without a final break.
    virtual std::optional<std::string> FieldText(const std::string& control) const = 0;
    // False when there is no control of that name.
    virtual bool SetFieldText(const std::string& control, const std::string& text) = 0;
    // Replaces the drop-down list of a combo field.
    virtual void SetHistoryItems(const std::string& control, const std::vector<std::string>& items) = 0;
    virtual TDateTime Date() const = 0;
    virtual void SetDate(TDateTime date) = 0;
};

// The editor's field set without a window: every control of
// kProtocolFieldDefs, empty except the conclusion, the date today.
class TProtocolFields final : public IProtocolFields {
public:
    TProtocolFields();

    std::optional<std::string> FieldText(const std::string& control) const override;
    bool SetFieldText(const std::string& control, const std::string& text) override;
    void SetHistoryItems(const std::string& control, const std::vector<std::string>& items) override;
    TDateTime Date() const override { return date_; }
    void SetDate(TDateTime date) override { date_ = date; }

    const std::vector<std::string>& HistoryItems(const std::string& control) const;

private:
    std::map<std::string, std::string, std::less<>> texts_;
    std::map<std::string, std::vector<std::string>, std::less<>> lists_;
    TDateTime date_;
};

// The days the measurements of a protocol were taken: the first and the last
// day of the single measurements with a workplace number (those the result
// tables show), or of all single measurements when none has one; nullopt
// without single measurements. The first day is the date a new protocol
// starts with.
struct TDaySpan {
    TDateTime first = 0;
    TDateTime last = 0;
};
std::optional<TDaySpan> MeasurementDays(const TMeasureDataP& measurements);
// "Измерения проведены с 17.03.2026 по 18.03.2026." for several days; "" otherwise.
std::string MeasurementDaysNote(const TMeasureDataP& measurements);

// The value the document's heading source gives for a field name: the text of
// that control for names starting with "E", "C" or "M", the date as a short
// date for "D", otherwise empty.
std::string HeadingValue(const IProtocolFields& fields, const std::string& name);

}  // namespace zorvex
