#include "datasetstore.h"

#include <algorithm>
#include <utility>

#include "enginecodes.h"
#include "runtime/statuscodes.h"

namespace engine {
namespace {

constexpr const char* kActiveAlias = "*";

}  // namespace

bool DatasetStore::IsActive(const std::string& name, const Dataset& active) const {
    return name == kActiveAlias || name == active.name();
}

Dataset* DatasetStore::Find(const std::string& name, Dataset& active) {
    if (IsActive(name, active)) return &active;
    for (auto& data : m_others) {
        if (data.name() == name) return &data;
    }
    return nullptr;
}

bool DatasetStore::Taken(const std::string& name, const Dataset& active) const {
    if (name == active.name()) return true;
    return std::any_of(m_others.begin(), m_others.end(),
                       [&](const Dataset& d) { return d.name() == name; });
}

int DatasetStore::CheckNewName(const std::string& name, const Dataset& active) const {
    if (name.empty() || name == kActiveAlias) return kBadDatasetName;
    if (Taken(name, active)) return kDatasetNameTaken;
    return VEXA_OK;
}

DatasetStore::Entry* DatasetStore::FindEntry(const std::string& name) {
    for (auto& entry : m_entries) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

const DatasetStore::Entry* DatasetStore::FindEntry(const std::string& name) const {
    return const_cast<DatasetStore*>(this)->FindEntry(name);
}

void DatasetStore::Record(const std::string& name, int firstFlag, int secondFlag) {
    m_entries.push_back({name, firstFlag, secondFlag, false, m_stepOpen});
}

int DatasetStore::Create(const std::string& name, int firstFlag, int secondFlag,
                         const Dataset& active) {
    // The client names the active dataset so to write its cells in a step;
    // it exists already, so nothing is made.
    if (name.empty() || name == kActiveAlias) return VEXA_OK;
    if (int refused = CheckNewName(name, active)) return refused;
    m_others.emplace_back(name);
    Record(name, firstFlag, secondFlag);
    return VEXA_OK;
}

int DatasetStore::Copy(const std::string& from, const std::string& to, Dataset& active) {
    const Dataset* source = Find(from, active);
    if (!source) return kNoSuchDataset;
    if (int refused = CheckNewName(to, active)) return refused;
    Dataset copy = *source;
    copy.SetName(to);
    m_others.push_back(std::move(copy));
    Record(to, 0, 0);
    return VEXA_OK;
}

int DatasetStore::Rename(const std::string& from, const std::string& to, Dataset& active) {
    Dataset* data = Find(from, active);
    if (!data) return kNoSuchDataset;
    if (to == data->name()) return VEXA_OK;
    if (int refused = CheckNewName(to, active)) return refused;
    if (Entry* entry = FindEntry(data->name())) entry->name = to;
    data->SetName(to);
    return VEXA_OK;
}

int DatasetStore::Activate(const std::string& name, Dataset& active) {
    if (IsActive(name, active)) return VEXA_OK;
    auto found = std::find_if(m_others.begin(), m_others.end(),
                              [&](const Dataset& d) { return d.name() == name; });
    if (found == m_others.end()) return kNoSuchDataset;
    std::swap(*found, active);
    return VEXA_OK;
}

int DatasetStore::Close(const std::string& name, const Dataset& active) {
    if (IsActive(name, active)) return kActiveDatasetNotClosable;
    auto found = std::find_if(m_others.begin(), m_others.end(),
                              [&](const Dataset& d) { return d.name() == name; });
    if (found == m_others.end()) return kNoSuchDataset;
    m_others.erase(found);
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.name == name; });
    return VEXA_OK;
}

std::string DatasetStore::NewName(const Dataset& active) const {
    for (std::size_t n = 1;; ++n) {
        std::string name = "DataSet" + std::to_string(n);
        if (!Taken(name, active)) return name;
    }
}

std::vector<std::string> DatasetStore::AllNames(const Dataset& active) const {
    std::vector<std::string> names{active.name()};
    for (const auto& data : m_others) names.push_back(data.name());
    return names;
}

std::vector<std::string> DatasetStore::OpenedNames() const {
    std::vector<std::string> names;
    for (const auto& entry : m_entries) names.push_back(entry.name);
    return names;
}

std::vector<std::string> DatasetStore::StepNames() const {
    std::vector<std::string> names;
    if (!m_stepOpen) return names;
    for (const auto& entry : m_entries) {
        if (entry.inStep) names.push_back(entry.name);
    }
    return names;
}

void DatasetStore::StartStep() { m_stepOpen = true; }

void DatasetStore::EndStep() {
    m_stepOpen = false;
    for (auto& entry : m_entries) entry.inStep = false;
}

void DatasetStore::SetCacheFlag(const std::string& name, bool flag) {
    if (Entry* entry = FindEntry(name)) entry->cache = flag;
}

bool DatasetStore::CacheFlag(const std::string& name) const {
    const Entry* entry = FindEntry(name);
    return entry && entry->cache;
}

}  // namespace engine
