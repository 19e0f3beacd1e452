// The values set for the current case (or a new one) until the next commit:
// numeric names and values, string names and values, entry k of a name list
// going with entry k of its value list. Owns copies of everything it was
// given. Belongs to the API's calling thread; no lock.
#pragma once

#include <string>
#include <vector>

class CleXDSmb;

namespace api {

class CaseWriteBuffer {
  public:
    void AddNumeric(std::string name, double value);
    // `value` keeps every byte it was given, zero bytes included.
    void AddString(std::string name, std::string value);

    // Values into the double and string blocks, then the numeric names and
    // the string names as two string arrays, in this order.
    void AppendTo(CleXDSmb& request) const;

  private:
    std::vector<std::string> m_numericNames;
    std::vector<std::string> m_stringNames;
    std::vector<double> m_numericValues;
    std::vector<std::string> m_stringValues;
};

}  // namespace api
