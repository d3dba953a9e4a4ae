// libtgx exports exactly the functions libtgx.h declares with TGX_EXPORT: no
// declared function goes missing, and nothing else leaks out (C++ template
// instantiations of the standard library included).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/support.h"

namespace {

// The function names declared "TGX_EXPORT <type> NAME(" in the header.
std::set<std::string> declaredExports(const std::string& header) {
    std::ifstream f(header);
    EXPECT_TRUE(f.good()) << header;
    std::stringstream text;
    text << f.rdbuf();
    const std::string s = text.str();
    const std::regex decl(
        R"(TGX_EXPORT\s+[A-Za-z_][A-Za-z_0-9\s\*]*?\b([A-Za-z_][A-Za-z_0-9]*)\s*\()");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), decl); it != std::sregex_iterator();
         ++it)
        out.insert((*it)[1].str());
    out.erase("__attribute__"); // the macro's own definition
    return out;
}

TEST(LibtgxExports, ExactlyTheDeclaredFunctions) {
    const std::set<std::string> declared =
        declaredExports(std::string(HBA_SOURCE_DIR) + "/libtgx/libtgx.h");
    ASSERT_TRUE(declared.count("TGX_InitDiagEnv") && declared.count("QrlTgxSendMgmtResponse") &&
                declared.count("GetAdapterPortAttributes"))
        << "the header was not read";
    EXPECT_EQ(hbatest::exported_symbols(hbatest::bin_path("libtgx.so")), declared);
}

} // namespace
