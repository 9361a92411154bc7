#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zorvex::report {

// A named source of records that the engine reads while it prepares a
// document: First, then, until Eof answers true, the values of the current
// record and Next. The engine reads a block's source exactly once, from First
// to the first true Eof, block after block in print order, and calls Eof
// exactly once per step, so a source may move shared state in Eof (the
// protocol's table sources do). Values are UTF-8; an unknown field is "".
class ReportDataSet {
public:
    virtual ~ReportDataSet() = default;
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() = 0;
    virtual std::string GetValue(std::string_view field) = 0;
};

// The sources a template reads, by the names the template uses. The sources
// are not owned: they must outlive the preparation.
class ReportDataSources {
public:
    void Add(const std::string& name, ReportDataSet& source) { sources_[name] = &source; }
    // nullptr when no source of that name was added.
    ReportDataSet* Find(std::string_view name) const;

private:
    std::map<std::string, ReportDataSet*, std::less<>> sources_;
};

// Records held in memory, each a map from field name to value.
class MemoryDataSet final : public ReportDataSet {
public:
    using Record = std::map<std::string, std::string, std::less<>>;

    MemoryDataSet() = default;
    explicit MemoryDataSet(std::vector<Record> records) : records_(std::move(records)) {}

    std::vector<Record>& Records() { return records_; }

    void First() override { position_ = 0; }
    void Next() override { ++position_; }
    bool Eof() override { return position_ >= records_.size(); }
    // The current record's value; before First the first record answers,
    // so a one-record source also serves blocks that print once.
    std::string GetValue(std::string_view field) override;

private:
    std::vector<Record> records_;
    std::size_t position_ = 0;
};

}  // namespace zorvex::report
