#include "runtime/xcmdargument.h"

#include <utility>

#include "runtime/stringutil.h"

XCmdArgument::XCmdArgument(int count, const char* const* vector) {
    for (int i = 0; vector && i < count; ++i) m_arguments.emplace_back(vector[i] ? vector[i] : "");
}

XCmdArgument::XCmdArgument(const std::string& text)
    : m_arguments(textutil::GetListFromDelims(text, " ")) {}

XCmdArgument& XCmdArgument::operator=(const XCmdArgument& other) {
    if (this != &other) {
        m_arguments = other.m_arguments;
        Changed();
    }
    return *this;
}

XCmdArgument& XCmdArgument::operator=(XCmdArgument&& other) noexcept {
    if (this != &other) {
        m_arguments = std::move(other.m_arguments);
        other.m_arguments.clear();
        other.Changed();
        Changed();
    }
    return *this;
}

void XCmdArgument::Changed() {
    m_vectorStale = true;
    m_cmdlineStale = true;
}

void XCmdArgument::pushArgument(const std::string& argument, bool asIs) {
    bool quote = !asIs && !argument.empty() && argument.front() != '"' &&
                 argument.front() != '\'' && argument.find(' ') != std::string::npos;
    if (!quote) {
        m_arguments.push_back(argument);
    } else {
        std::string quoted = "\"" + argument;
        if (argument.back() == '\\') quoted += '\\';
        m_arguments.push_back(quoted + "\"");
    }
    Changed();
}

void XCmdArgument::modifyArgument(int index, const std::string& argument) {
    if (index < 0 || index >= argc()) return;
    m_arguments[static_cast<std::size_t>(index)] = argument;
    Changed();
}

const char* XCmdArgument::argumentAt(int index) const {
    if (index < 0 || index >= argc()) return nullptr;
    return m_arguments[static_cast<std::size_t>(index)].c_str();
}

char** XCmdArgument::argv() {
    if (m_vectorStale) {
        m_vectorCopies = m_arguments;
        m_vector.clear();
        for (std::string& copy : m_vectorCopies) m_vector.push_back(copy.data());
        m_vector.push_back(nullptr);
        m_vectorStale = false;
    }
    return m_vector.data();
}

const char* XCmdArgument::cmdline() {
    if (m_cmdlineStale) {
        m_cmdline.clear();
        for (const std::string& argument : m_arguments) m_cmdline += " " + argument;
        m_cmdlineStale = false;
    }
    return m_arguments.empty() ? nullptr : m_cmdline.c_str();
}
