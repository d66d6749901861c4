#include "ole_guid_extractor.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::u16string guid = u"0f8fad5b-d9cb-469f-a165-70867728950e";

// The literal writer asks only texts of 36 or 38 characters: a GUID of the
// 8-4-4-4-12 shape, bare or braced, is well formed.
TEST(ole_guid_extractor, FormsAndLimits) {
  const struct {
    const char* name;
    std::u16string text;
    bool valid;
    size_t start;
    bool well_formed;
  } rows[] = {
      {"plain 36", guid, true, 0, true},
      {"36 of dashes", std::u16string(36, u'-'), true, 0, false},
      {"36 with a non-hex letter", u"0f8fad5b-d9cb-469f-a165-70867728950g", false, 0, false},
      {"braced 38", u"{" + guid + u"}", true, 1, true},
      {"38 without braces", u"(" + guid + u")", false, 0, false},
  };
  for (const auto& r : rows) {
    ole_guid_extractor g(r.text);
    EXPECT_EQ(std::tuple(g.is_valid(), g.start(), g.is_well_formed(), g.guid()),
              std::tuple(r.valid, r.start, r.well_formed, r.valid ? r.text.substr(r.start, 36) : u""))
        << r.name;
  }
}

}  // namespace
