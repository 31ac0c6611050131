#include "xmlda/NextRequest.h"

#include "base/Error.h"

#include <functional>
#include <gtest/gtest.h>

namespace opc::xmlda {
namespace {

std::u16string U(const std::string& ascii) {
  return {ascii.begin(), ascii.end()};
}
std::string A(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out += c < 128 ? static_cast<char>(c) : '?';
  }
  return out;
}

TValue Scalar(TValueType kind, const std::string& text) {
  TValue value;
  value.present = true;
  value.kind = kind;
  value.scalar.text = text;
  return value;
}

// Each action on a request text: only what it changes differs afterwards.
struct Case {
  const char* name;
  std::string request;
  std::function<std::u16string(std::u16string_view)> action;
  std::string expected;
};

const std::string kNs = "xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\"";

const Case kCases[] = {
    {"browse_into_keeps_filters_and_drops_the_continuation_point",
     "<Browse " + kNs +
         " ItemPath=\"\" ItemName=\"Static\" ContinuationPoint=\"x|1\"\r\n"
         "        MaxElementsReturned=\"100\" BrowseFilter=\"item\"/>",
     [](auto t) {
       return BrowseInto(t, {"Sub", "", "Static/Sub & more", false, true, {}});
     },
     "<Browse " + kNs +
         " ItemPath=\"\" ItemName=\"Static/Sub &amp; more\"\r\n"
         "        MaxElementsReturned=\"100\" BrowseFilter=\"item\"/>"},
    {"browse_into_sets_a_path_only_where_there_is_one", "<Browse " + kNs + " ItemName=\"\"/>",
     [](auto t) {
       return BrowseInto(t, {"b", "p", "n", false, true, {}});
     },
     "<Browse " + kNs + " ItemName=\"n\" ItemPath=\"p\"/>"},
    {"next_page_adds_the_continuation_point",
     "<Browse " + kNs + " ItemName=\"Paging\" MaxElementsReturned=\"10\"/>",
     [](auto t) { return NextBrowsePage(t, "Paging|all||10\""); },
     "<Browse " + kNs +
         " ItemName=\"Paging\" MaxElementsReturned=\"10\" "
         "ContinuationPoint=\"Paging|all||10&quot;\"/>"},
    {"read_replaces_the_items_and_keeps_options_placeholders_and_comments",
     "<Read " + kNs +
         ">\r\n  <Options RequestDeadline=\"#now+1m#\"/>\r\n  <ItemList MaxAge=\"0\">\r\n"
         "    <Items ItemName=\"a\" ClientItemHandle=\"1\"/>\r\n    <!-- b -->\r\n"
         "    <Items ItemName=\"b\" ClientItemHandle=\"2\"/>\r\n  </ItemList>\r\n</Read>\r\n",
     [](auto t) {
       return ReadItems(t, {{"", "x/1", "h"}, {"P", "x/2", ""}});
     },
     "<Read " + kNs +
         ">\r\n  <Options RequestDeadline=\"#now+1m#\"/>\r\n  <ItemList MaxAge=\"0\">\r\n"
         "    <Items ItemName=\"x/1\" ClientItemHandle=\"h\"/>\r\n"
         "    <Items ItemPath=\"P\" ItemName=\"x/2\" ClientItemHandle=\"2\"/>\r\n"
         "    <!-- b -->\r\n  </ItemList>\r\n</Read>\r\n"},
    {"read_without_an_item_list_gets_one", "<Read " + kNs + ">\n  <Options/>\n</Read>",
     [](auto t) {
       return ReadItems(t, {{"", "a", ""}});
     },
     "<Read " + kNs +
         ">\n  <Options/>\n  <ItemList>\n    <Items ItemName=\"a\" ClientItemHandle=\"1\"/>\n"
         "  </ItemList>\n</Read>"},
    {"subscribe_with_a_prefix",
     "<o:Subscribe xmlns:o=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">"
     "<o:ItemList RequestedSamplingRate=\"500\"><o:Items ItemName=\"a\"/></o:ItemList>"
     "</o:Subscribe>",
     [](auto t) {
       return SubscribeItems(t, {{"", "b", "7"}});
     },
     "<o:Subscribe xmlns:o=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">"
     "<o:ItemList RequestedSamplingRate=\"500\"><o:Items ItemName=\"b\" ClientItemHandle=\"7\"/>"
     "</o:ItemList></o:Subscribe>"},
    {"get_properties_keeps_property_names",
     "<GetProperties " + kNs +
         " ReturnAllProperties=\"false\">\r\n  <ItemIDs ItemName=\"a\"/>\r\n"
         "  <PropertyNames>dataType</PropertyNames>\r\n</GetProperties>",
     [](auto t) {
       return GetPropertiesOf(t, {{"", "b", ""}, {"", "c", ""}});
     },
     "<GetProperties " + kNs +
         " ReturnAllProperties=\"false\">\r\n  <ItemIDs ItemName=\"b\"/>\r\n  <ItemIDs "
         "ItemName=\"c\"/>\r\n  <PropertyNames>dataType</PropertyNames>\r\n</GetProperties>"},
    {"poll_fills_the_handle",
     "<SubscriptionPolledRefresh " + kNs +
         " HoldTime=\"#now+1#\">\r\n  <!-- fill in -->\r\n  <ServerSubHandles>fill-in"
         "</ServerSubHandles>\r\n</SubscriptionPolledRefresh>",
     [](auto t) { return PollSubscription(t, "42<"); },
     "<SubscriptionPolledRefresh " + kNs +
         " HoldTime=\"#now+1#\">\r\n  <!-- fill in -->\r\n  <ServerSubHandles>42&lt;"
         "</ServerSubHandles>\r\n</SubscriptionPolledRefresh>"},
    {"cancel_fills_the_handle",
     "<SubscriptionCancel " + kNs + " ServerSubHandle=\"fill-in\" ClientRequestHandle=\"c\"/>",
     [](auto t) { return CancelSubscription(t, "42"); },
     "<SubscriptionCancel " + kNs + " ServerSubHandle=\"42\" ClientRequestHandle=\"c\"/>"},
    {"write_with_values_and_types",
     "<Write " + kNs +
         " ReturnValuesOnReply=\"true\">\r\n  <ItemList>\r\n    <Items ItemName=\"a\">\r\n"
         "      <Value xsi:type=\"xsd:int\">1</Value>\r\n    </Items>\r\n  </ItemList>\r\n</Write>",
     [](auto t) {
       TValue array;
       array.present = true;
       array.kind = TValueType::ArrayOfDouble;
       array.isArray = true;
       array.elements = {{TValueType::Double, "1.5", false, {}},
                         {TValueType::Double, "2", false, {}}};
       return WriteItems(t, {{{"", "w/i", "1"}, Scalar(TValueType::Int, "42")},
                             {{"", "w/s", "2"}, Scalar(TValueType::String, "a<b")},
                             {{"", "w/a", "3"}, array}});
     },
     "<Write " + kNs +
         " ReturnValuesOnReply=\"true\">\r\n  <ItemList>\r\n"
         "    <Items ItemName=\"w/i\" ClientItemHandle=\"1\">\r\n"
         "      <Value xsi:type=\"xsd:int\">42</Value>\r\n    </Items>\r\n"
         "    <Items ItemName=\"w/s\" ClientItemHandle=\"2\">\r\n"
         "      <Value xsi:type=\"xsd:string\">a&lt;b</Value>\r\n    </Items>\r\n"
         "    <Items ItemName=\"w/a\" ClientItemHandle=\"3\">\r\n"
         "      <Value "
         "xsi:type=\"ArrayOfDouble\"><double>1.5</double><double>2</double></Value>\r\n"
         "    </Items>\r\n  </ItemList>\r\n</Write>"},
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class NextRequest : public testing::TestWithParam<Case> {};

TEST_P(NextRequest, ChangesOnlyWhatTheActionChanges) {
  EXPECT_EQ(A(GetParam().action(U(GetParam().request))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Model, NextRequest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  std::string request;
};

const BadCase kBad[] = {
    {"other_operation", "<Read/>"},       {"unclosed", "<Browse ItemName=\"a\">"},
    {"unquoted", "<Browse ItemName=a/>"}, {"empty", ""},
    {"mismatched", "<Browse></Read>"},
};

void PrintTo(const BadCase& c, std::ostream* out) {
  *out << c.name;
}

class NextRequestRefuses : public testing::TestWithParam<BadCase> {};

TEST_P(NextRequestRefuses, TextsItCannotChange) {
  EXPECT_THROW(NextBrowsePage(U(GetParam().request), "x"), Error);
}

INSTANTIATE_TEST_SUITE_P(Model, NextRequestRefuses, testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace opc::xmlda
