#include "casewritebuffer.h"

#include <utility>

#include "codec/clexdsmb.h"

namespace api {

void CaseWriteBuffer::AddNumeric(std::string name, double value) {
    m_numericNames.push_back(std::move(name));
    m_numericValues.push_back(value);
}

void CaseWriteBuffer::AddString(std::string name, std::string value) {
    m_stringNames.push_back(std::move(name));
    m_stringValues.push_back(std::move(value));
}

void CaseWriteBuffer::AppendTo(CleXDSmb& request) const {
    StringData numericNames;
    StringData stringNames;
    for (std::size_t i = 0; i < m_numericValues.size(); ++i) {
        request.SetDouble(m_numericValues[i]);
        numericNames.SetValue(m_numericNames[i]);
    }
    for (std::size_t i = 0; i < m_stringValues.size(); ++i) {
        request.SetString(m_stringValues[i]);
        stringNames.SetValue(m_stringNames[i]);
    }
    request.SetStringArray(numericNames);
    request.SetStringArray(stringNames);
}

}  // namespace api
