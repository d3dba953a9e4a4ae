// Checks of fwsweep's documents that both the stub and the end-to-end tests
// run: a JSON report or history file against the schemas in docs/ (with
// Debian's python3-jsonschema, through validate_json.py), and an XML document
// for being well-formed.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/support.h"

namespace fwtest {

// Runs the validator on text of kind "report", "history" or "xml"; the
// test fails with its messages when the text is not valid.
inline bool validDocument(const std::string& kind, const std::string& text) {
    char path[] = "/tmp/fwsweep-doc.XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "no temporary file";
        return false;
    }
    close(fd);
    hbatest::write_file(path, text);
    hbatest::RunResult r =
        hbatest::run("/usr/bin/python3", {FWSWEEP_VALIDATOR, FWSWEEP_SCHEMA_DIR, kind, path});
    unlink(path);
    EXPECT_EQ(r.exit_code, 0) << kind << " not valid:\n" << r.err << "\n" << text;
    return r.exit_code == 0;
}

// The report document of text, checked against the schema (null when it is
// not valid).
inline nlohmann::json checkedReport(const std::string& text) {
    if (!validDocument("report", text)) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
}

// Every line of the history file at path, checked against the schema.
inline std::vector<nlohmann::json> checkedHistory(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::string text = hbatest::read_file(path);
    if (!validDocument("history", text)) return lines;
    size_t pos = 0, nl;
    while ((nl = text.find('\n', pos)) != std::string::npos) {
        lines.push_back(nlohmann::json::parse(text.substr(pos, nl - pos), nullptr, false));
        pos = nl + 1;
    }
    return lines;
}

// The SHA-256 of a file as sha256sum prints it.
inline std::string sha256Of(const std::string& path) {
    return hbatest::run("/usr/bin/sha256sum", {path}).out.substr(0, 64);
}

} // namespace fwtest
