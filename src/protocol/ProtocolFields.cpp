#include "protocol/ProtocolFields.h"

#include <algorithm>

#include "base/Clock.h"

namespace zorvex {

const std::array<TProtocolFieldDef, 13> kProtocolFieldDefs = {{
    {0, "Edit0", "ПРОТОКОЛ № ", "", false, ""},
    {1, "Edit1", "1. Организация, объект, на котором проводились измерения и оценка", "orgs", false, "SpeedButton1"},
    {2, "Edit2", "2. Представитель обследуемого объекта, присутствующий при проведении измерений и оценки",
     "presenters", false, "SpeedButton5"},
    {-1, "DateTimePicker1", "3. Дата  проведения измерений и оценки", "", false, ""},
    {3, "Edit3", "4. Цель проведения измерений и оценки", "checkgoals", false, "SpeedButton6"},
    {4, "Edit4", "5. Наименование организации,  привлеченной к выполнению измерений и оценки", "orgs", false,
     "SpeedButton4"},
    {5, "Memo5", "6. Средства измерений и сведения о Государственной поверке", "devices", true, "SpeedButton2"},
    {6, "Memo6", "7. НТД, в соответствии с которой проводились измерения и оценка и давалось заключение", "techdocs",
     true, "SpeedButton3"},
    {7, "Memo7", "8. Наименование и коды подразделений и рабочих мест ", "workplaces", true, "SpeedButton8"},
    {8, "Edit8", "9. Место проведения измерений и оценки", "checkplaces", false, "SpeedButton7"},
    {9, "ComboBoxEx9", "Инженер по испытаниям", "", false, ""},
    {10, "ComboBoxEx10", "Начальник лаборатории по контролю ОВФП", "", false, ""},
    {11, "Memo11", "Заключение", "", false, ""},
}};

const std::string kDefaultConclusion =
    "Уровни ЭМП на рабочих местах соответствуют допустимым уровням.\r\n"
    "При визуальном контроле рабочих мест отраженная блесткость отсутствует.\r\n"
    "Оценка условий труда по фактору «Уровень электромагнитных полей на рабочих местах, оборудованных \r\n"
    " ПЭВМ» на всех РМ соответствует классу 2.\r\n"
    "Оценка условий труда по фактору «Неравномерность распределения яркости  в поле зрения пользователя \r\n"
    "ПЭВМ» на РМ  соответствует классу 2.";

const TProtocolFieldDef* FindFieldDef(std::string_view control) {
    for (const TProtocolFieldDef& def : kProtocolFieldDefs)
        if (def.control == control) return &def;
    return nullptr;
}

TProtocolFields::TProtocolFields() : date_(DateOf(Now())) {
    for (const TProtocolFieldDef& def : kProtocolFieldDefs)
        if (def.number >= 0) texts_.emplace(std::string(def.control), std::string());
    texts_["Memo11"] = kDefaultConclusion;
}

std::optional<std::string> TProtocolFields::FieldText(const std::string& control) const {
    const auto it = texts_.find(control);
    if (it == texts_.end()) return std::nullopt;
    return it->second;
}

bool TProtocolFields::SetFieldText(const std::string& control, const std::string& text) {
    const auto it = texts_.find(control);
    if (it == texts_.end()) return false;
    it->second = text;
    return true;
}

void TProtocolFields::SetHistoryItems(const std::string& control, const std::vector<std::string>& items) {
    lists_[control] = items;
}

const std::vector<std::string>& TProtocolFields::HistoryItems(const std::string& control) const {
    static const std::vector<std::string> kNone;
    const auto it = lists_.find(control);
    return it == lists_.end() ? kNone : it->second;
}

std::optional<TDaySpan> MeasurementDays(const TMeasureDataP& measurements) {
    std::optional<TDaySpan> numbered, all;
    const auto widen = [](std::optional<TDaySpan>& span, TDateTime time) {
        const TDateTime day = DateOf(time);
        if (!span) {
            span = TDaySpan{day, day};
        } else {
            span->first = std::min(span->first, day);
            span->last = std::max(span->last, day);
        }
    };
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (const TMeasureRecord& r : measurements(kMethodSingle, kind).Records) {
            widen(all, r.time);
            if (r.workplace != 0) widen(numbered, r.time);
        }
    }
    return numbered ? numbered : all;
}

std::string MeasurementDaysNote(const TMeasureDataP& measurements) {
    const std::optional<TDaySpan> days = MeasurementDays(measurements);
    if (!days || days->first == days->last) return {};
    return "Измерения проведены с " + DateToStr(days->first) + " по " + DateToStr(days->last) + ".";
}

std::string HeadingValue(const IProtocolFields& fields, const std::string& name) {
    if (name.empty()) return {};
    switch (name[0]) {
        case 'E':
        case 'C':
        case 'M':
            return fields.FieldText(name).value_or(std::string());
        case 'D':
            return DateToStr(fields.Date());
        default:
            return {};
    }
}

}  // namespace zorvex
