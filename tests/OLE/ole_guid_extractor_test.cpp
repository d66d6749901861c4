#include "ole_guid_extractor.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::u16string guid = u"0f8fad5b-d9cb-469f-a165-70867728950e";

TEST(ole_guid_extractor, FormsAndLimits) {
  const std::u16string pad(20, u'x');
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
      {"37", guid + u"}", false, 0, false},
      {"45", guid + u"123456789", false, 0, false},
      {"35", guid.substr(1), false, 0, false},
      {"search lower", u"row guid" + guid + u" end", true, 8, true},
      {"search braced", u"some text guid{" + guid + u"}", true, 15, true},
      {"search upper", u"value GUID" + guid, true, 10, true},
      // The GUID starts right after the word, so a blank there is part of it.
      {"search with a blank", u"row guid " + guid + u" end", true, 8, false},
      {"search mixed case", u"value Guid=" + guid, false, 0, false},
      {"search too few after", pad + pad + u"guid" + guid.substr(0, 30), false, 0, false},
      {"search finds text", u"the guid of this row was deleted on Monday, not today", true, 8, false},
      {"91", std::u16string(55, u'a') + guid, false, 0, false},
  };
  for (const auto& r : rows) {
    ole_guid_extractor g(r.text);
    EXPECT_EQ(std::tuple(g.is_valid(), g.start(), g.is_well_formed(), g.guid()),
              std::tuple(r.valid, r.start, r.well_formed, r.valid ? r.text.substr(r.start, 36) : u""))
        << r.name;
  }
}

}  // namespace
