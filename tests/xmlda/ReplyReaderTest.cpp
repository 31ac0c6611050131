#include "xmlda/ReplyReader.h"

#include "xmlda/ResultCodes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace opc::xmlda {
namespace {

std::string ProblemList(const TReply& reply) {
  std::string text;
  for (const TProblem& p : reply.problems) {
    text += std::to_string(p.line) + ":" + std::to_string(p.column) + " " + p.text + "\n";
  }
  return text;
}

// Replies written as other SOAP stacks write them; each case checks what the model must hold.
struct StackCase {
  const char* name;
  std::string xml;
  std::function<void(const TReply&)> check;
};

const std::string kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
const std::string kOpc = "http://opcfoundation.org/webservices/XMLDA/1.0/";
const std::string kXsdXsi = " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
                            " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";

std::string Soap(const std::string& prefix, const std::string& body,
                 const std::string& bodyAttributes = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><" + prefix + ":Envelope xmlns:" + prefix +
         "=\"" + kSoap11 + "\"" + kXsdXsi + "><" + prefix + ":Body" + bodyAttributes + ">" + body +
         "</" + prefix + ":Body></" + prefix + ":Envelope>";
}

const StackCase kStackCases[] = {
    {"soap_prefix_read_all_types",
     Soap("soap",
          "<ReadResponse xmlns=\"" + kOpc +
              "\"><ReadResult RcvTime=\"2024-05-01T14:03:07.123+02:00\" "
              "ReplyTime=\"2024-05-01T14:03:07.125+02:00\" ClientRequestHandle=\"r1\" "
              "ServerState=\"running\"/><RItemList>"
              "<Items ItemName=\"i\" ClientItemHandle=\"1\" Timestamp=\"2024-05-01T12:03:07Z\">"
              "<Value xsi:type=\"xsd:int\">-42</Value><Quality QualityField=\"badCommFailure\" "
              "LimitField=\"low\" VendorField=\"7\"/></Items>"
              "<Items ItemName=\"d\"><Value xsi:type=\"xsd:double\">1.5E3</Value></Items>"
              "<Items ItemName=\"b\"><Value xsi:type=\"xsd:boolean\">true</Value></Items>"
              "<Items ItemName=\"u\"><Value xsi:type=\"xsd:unsignedLong\">18446744073709551615"
              "</Value></Items>"
              "<Items ItemName=\"t\"><Value xsi:type=\"xsd:dateTime\">2024-05-01T12:00:00"
              "</Value></Items>"
              "<Items ItemName=\"x\"><Value xsi:type=\"xsd:base64Binary\">AAEC/w==</Value></Items>"
              "<Items ItemName=\"a\"><Value xsi:type=\"ArrayOfInt\"><int>1</int><int>-2</int>"
              "</Value></Items>"
              "<Items ItemName=\"s\"><Value xsi:type=\"ArrayOfString\"><string>a b</string>"
              "<string xsi:nil=\"true\"/></Value></Items>"
              "<Items ItemName=\"q\"><Value xsi:type=\"xsd:QName\">xsd:int</Value></Items>"
              "<Items ItemName=\"any\"><Value xsi:type=\"ArrayOfAnyType\">"
              "<anyType xsi:type=\"xsd:float\">2.5</anyType><anyType xsi:type=\"xsd:string\">z"
              "</anyType></Value></Items>"
              "</RItemList></ReadResponse>"),
     [](const TReply& r) {
       EXPECT_EQ(r.operation, TOperation::Read);
       ASSERT_TRUE(r.base);
       EXPECT_EQ(r.base->clientRequestHandle, "r1");
       EXPECT_EQ(r.base->rcvTime->offsetMinutes, 120);
       ASSERT_EQ(r.items.size(), 10u);
       EXPECT_EQ(std::get<std::int64_t>(r.items[0].value.scalar.typed), -42);
       EXPECT_EQ(r.items[0].value.kind, TValueType::Int);
       EXPECT_EQ(r.items[0].quality->qualityField, "badCommFailure");
       EXPECT_EQ(r.items[0].quality->limitField, "low");
       EXPECT_EQ(r.items[0].quality->vendorField, 7);
       EXPECT_EQ(QualityText(r.items[0].quality->qualityField, r.items[0].quality->limitField),
                 "bad – comm failure, limit low");
       EXPECT_EQ(r.items[0].timestamp->UnixMicros(), r.base->rcvTime->UnixMicros() - 123000);
       EXPECT_DOUBLE_EQ(std::get<double>(r.items[1].value.scalar.typed), 1500.0);
       EXPECT_TRUE(std::get<bool>(r.items[2].value.scalar.typed));
       EXPECT_EQ(std::get<std::uint64_t>(r.items[3].value.scalar.typed), 18446744073709551615u);
       EXPECT_FALSE(std::get<TDateTime>(r.items[4].value.scalar.typed).hasZone);
       EXPECT_EQ(std::get<std::vector<std::uint8_t>>(r.items[5].value.scalar.typed),
                 (std::vector<std::uint8_t>{0, 1, 2, 255}));
       ASSERT_TRUE(r.items[6].value.isArray);
       ASSERT_EQ(r.items[6].value.elements.size(), 2u);
       EXPECT_EQ(std::get<std::int64_t>(r.items[6].value.elements[1].typed), -2);
       EXPECT_EQ(r.items[7].value.elements[0].text, "a b");
       EXPECT_TRUE(r.items[7].value.elements[1].nil);
       EXPECT_EQ(std::get<TQName>(r.items[8].value.scalar.typed),
                 (TQName{"http://www.w3.org/2001/XMLSchema", "int"}));
       EXPECT_EQ(r.items[9].value.elements[0].type, TValueType::Float);
       EXPECT_EQ(r.items[9].value.elements[1].text, "z");
       EXPECT_FALSE(r.HasItemErrors());
     }},
    {"soapenv_q0_prefixes_xsi_type_everywhere_seven_digits",
     "<soapenv:Envelope xmlns:soapenv=\"" + kSoap11 + "\"" + kXsdXsi +
         "><soapenv:Header/><soapenv:Body>"
         "<q0:SubscribeResponse xmlns:q0=\"" +
         kOpc +
         "\" ServerSubHandle=\"h-7\" xsi:type=\"q0:SubscribeResponse\">"
         "<q0:SubscribeResult xsi:type=\"q0:ReplyBase\" RcvTime=\"2024-05-01T12:00:00.1234567Z\" "
         "ReplyTime=\"2024-05-01T12:00:00.1234568Z\" ServerState=\"running\"/>"
         "<q0:RItemList RevisedSamplingRate=\"500\"><q0:Items RevisedSamplingRate=\"1000\">"
         "<q0:ItemValue ItemName=\"a\" ClientItemHandle=\"1\"><q0:Value xsi:type=\"xsd:short\">7"
         "</q0:Value><q0:Quality xsi:type=\"q0:OPCQuality\"/></q0:ItemValue></q0:Items>"
         "</q0:RItemList></q0:SubscribeResponse></soapenv:Body></soapenv:Envelope>",
     [](const TReply& r) {
       EXPECT_EQ(r.operation, TOperation::Subscribe);
       EXPECT_EQ(r.serverSubHandle, "h-7");
       EXPECT_EQ(r.base->rcvTime->ticks, 1234567);
       EXPECT_EQ(r.base->rcvTime->fractionDigits, 7);
       EXPECT_LT(r.base->rcvTime->UnixMicros(), r.base->replyTime->UnixMicros() + 1);
       EXPECT_EQ(r.revisedSamplingRate, 500.0);
       ASSERT_EQ(r.items.size(), 1u);
       EXPECT_EQ(r.items[0].revisedSamplingRate, 1000.0);
       EXPECT_EQ(std::get<std::int64_t>(r.items[0].value.scalar.typed), 7);
       EXPECT_EQ(r.items[0].quality->qualityField, "good");
     }},
    {"soap_env_prefix_body_id_prefixed_result_ids",
     "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + kSoap11 + "\"" + kXsdXsi +
         "><SOAP-ENV:Body id=\"_0\"><ReadResponse xmlns=\"" + kOpc + "\" xmlns:q1=\"" + kOpc +
         "\"><ReadResult RcvTime=\"2024-05-01T12:00:00Z\" ReplyTime=\"2024-05-01T12:00:00Z\" "
         "ServerState=\"running\"/><RItemList>"
         "<Items ItemName=\"nope\" ResultID=\"q1:E_UNKNOWNITEMNAME\"/>"
         "<Items ItemName=\"bad\" ResultID=\"E_BADTYPE\"/>"
         "<Items ItemName=\"vendor\" xmlns:v=\"urn:vendor\" ResultID=\"v:E_BUSY\"/>"
         "</RItemList><Errors ID=\"q1:E_BADTYPE\"><Text>Not convertible.</Text></Errors>"
         "</ReadResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>",
     [](const TReply& r) {
       ASSERT_EQ(r.items.size(), 3u);
       EXPECT_EQ(r.items[0].result->id, (TQName{kOpc, "E_UNKNOWNITEMNAME"}));
       EXPECT_EQ(r.ErrorText(*r.items[0].result), "The item name is not known to the server.");
       EXPECT_EQ(r.ErrorText(*r.items[1].result), "Not convertible.");
       // Same local name, another namespace: not the standard code, so no standard meaning.
       EXPECT_EQ(r.items[2].result->id.ns, "urn:vendor");
       EXPECT_EQ(r.ErrorText(*r.items[2].result), "");
       EXPECT_TRUE(r.HasItemErrors());
     }},
    {"browse_without_more_elements_and_with_properties",
     Soap("s",
          "<BrowseResponse xmlns=\"" + kOpc +
              "\" ContinuationPoint=\"cp-1\"><BrowseResult RcvTime=\"2024-05-01T12:00:00\" "
              "ReplyTime=\"2024-05-01T12:00:00\" ServerState=\"test\"/>"
              "<Elements Name=\"Int\" ItemName=\"S/Int\" ItemPath=\"\" IsItem=\"true\" "
              "HasChildren=\"false\"><Properties Name=\"dataType\"><Value xsi:type=\"xsd:QName\">"
              "xsd:int</Value></Properties><Properties Name=\"quality\"><Value "
              "xsi:type=\"OPCQuality\" QualityField=\"uncertain\"/></Properties>"
              "<Properties Name=\"x\" ResultID=\"E_INVALIDPID\"/></Elements>"
              "<Elements Name=\"Sub\" ItemName=\"S/Sub\" IsItem=\"false\" HasChildren=\"true\"/>"
              "</BrowseResponse>"),
     [](const TReply& r) {
       EXPECT_EQ(r.operation, TOperation::Browse);
       EXPECT_EQ(r.continuationPoint, "cp-1");
       EXPECT_FALSE(r.moreElements);
       EXPECT_FALSE(r.base->rcvTime->hasZone);
       ASSERT_EQ(r.elements.size(), 2u);
       EXPECT_TRUE(r.elements[0].isItem);
       ASSERT_EQ(r.elements[0].properties.size(), 3u);
       EXPECT_EQ(r.elements[0].properties[0].name, (TQName{kOpc, "dataType"}));
       EXPECT_EQ(std::get<TQName>(r.elements[0].properties[0].value.scalar.typed).local, "int");
       EXPECT_EQ(r.elements[0].properties[1].value.quality->qualityField, "uncertain");
       EXPECT_TRUE(r.HasItemErrors());
       EXPECT_TRUE(r.elements[1].hasChildren);
     }},
    {"polled_refresh_invalid_handles_and_overflow",
     Soap("soap",
          "<SubscriptionPolledRefreshResponse xmlns=\"" + kOpc +
              "\" DataBufferOverflow=\"true\"><SubscriptionPolledRefreshResult "
              "RcvTime=\"2024-05-01T12:00:00Z\" ReplyTime=\"2024-05-01T12:00:01Z\" "
              "ServerState=\"running\"/><InvalidServerSubHandles>9</InvalidServerSubHandles>"
              "<RItemList SubscriptionHandle=\"3\"><Items ItemName=\"a\"><Value "
              "xsi:type=\"xsd:float\">INF</Value></Items></RItemList>"
              "</SubscriptionPolledRefreshResponse>"),
     [](const TReply& r) {
       EXPECT_TRUE(r.dataBufferOverflow);
       EXPECT_EQ(r.invalidServerSubHandles, std::vector<std::string>{"9"});
       ASSERT_EQ(r.items.size(), 1u);
       EXPECT_EQ(r.items[0].subscriptionHandle, "3");
       EXPECT_TRUE(std::isinf(std::get<double>(r.items[0].value.scalar.typed)));
     }},
    {"subscribe_every_item_failed_no_handle",
     Soap("soap", "<SubscribeResponse xmlns=\"" + kOpc +
                      "\"><SubscribeResult RcvTime=\"2024-05-01T12:00:00Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"running\"/><RItemList>"
                      "<Items><ItemValue ItemName=\"x\" ResultID=\"E_UNKNOWNITEMNAME\"/></Items>"
                      "</RItemList></SubscribeResponse>"),
     [](const TReply& r) {
       EXPECT_FALSE(r.serverSubHandle);
       EXPECT_TRUE(r.HasItemErrors());
     }},
    {"get_status",
     Soap("soap", "<GetStatusResponse xmlns=\"" + kOpc +
                      "\"><GetStatusResult RcvTime=\"2024-05-01T12:00:00Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"suspended\" "
                      "RevisedLocaleID=\"en\"/><Status StartTime=\"2024-05-01T00:00:00Z\" "
                      "ProductVersion=\"2.1\"><StatusInfo>ok</StatusInfo><VendorInfo>V</VendorInfo>"
                      "<SupportedLocaleIDs>en</SupportedLocaleIDs><SupportedLocaleIDs>de"
                      "</SupportedLocaleIDs><SupportedInterfaceVersions>XML_DA_Version_1_0"
                      "</SupportedInterfaceVersions></Status></GetStatusResponse>"),
     [](const TReply& r) {
       EXPECT_EQ(r.base->serverState, "suspended");
       EXPECT_EQ(r.base->revisedLocaleId, "en");
       ASSERT_TRUE(r.status);
       EXPECT_EQ(r.status->productVersion, "2.1");
       EXPECT_EQ(r.status->vendorInfo, "V");
       EXPECT_EQ(r.status->supportedLocaleIds.size(), 2u);
       EXPECT_EQ(r.status->supportedInterfaceVersions[0], "XML_DA_Version_1_0");
     }},
    {"get_properties",
     Soap("soap", "<GetPropertiesResponse xmlns=\"" + kOpc +
                      "\"><GetPropertiesResult RcvTime=\"2024-05-01T12:00:00Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"running\"/>"
                      "<PropertyLists ItemName=\"a\"><Properties Name=\"value\" Description=\"Item "
                      "Value\"><Value xsi:type=\"xsd:long\">5</Value></Properties></PropertyLists>"
                      "<PropertyLists ItemName=\"b\" ResultID=\"E_UNKNOWNITEMNAME\"/>"
                      "</GetPropertiesResponse>"),
     [](const TReply& r) {
       ASSERT_EQ(r.propertyLists.size(), 2u);
       EXPECT_EQ(r.propertyLists[0].properties[0].description, "Item Value");
       EXPECT_EQ(std::get<std::int64_t>(r.propertyLists[0].properties[0].value.scalar.typed), 5);
       EXPECT_EQ(r.propertyLists[1].result->id.local, "E_UNKNOWNITEMNAME");
     }},
    {"cancel",
     Soap("soap",
          "<SubscriptionCancelResponse xmlns=\"" + kOpc + "\" ClientRequestHandle=\"c1\"/>"),
     [](const TReply& r) {
       EXPECT_EQ(r.operation, TOperation::SubscriptionCancel);
       EXPECT_EQ(r.clientRequestHandle, "c1");
     }},
    {"soap11_fault_with_detail",
     Soap("SOAP-ENV", "<SOAP-ENV:Fault><faultcode xmlns:x=\"" + kOpc +
                          "\">x:E_NOSUBSCRIPTION</faultcode><faultstring>No such "
                          "subscription</faultstring><detail><e:info xmlns:e=\"urn:e\">handle\n   "
                          "<e:h>1</e:h></e:info></detail></SOAP-ENV:Fault>"),
     [](const TReply& r) {
       ASSERT_TRUE(r.fault);
       EXPECT_EQ(r.fault->soapVersion, 11);
       EXPECT_EQ(r.fault->code, (TQName{kOpc, "E_NOSUBSCRIPTION"}));
       EXPECT_EQ(r.fault->string, "No such subscription");
       EXPECT_TRUE(r.fault->hasDetail);
       EXPECT_EQ(r.fault->detail, "handle 1");
     }},
    {"soap11_fault_without_detail",
     Soap("soap", "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>bad</faultstring>"
                  "</soap:Fault>"),
     [](const TReply& r) {
       ASSERT_TRUE(r.fault);
       EXPECT_EQ(r.fault->code, (TQName{kSoap11, "Client"}));
       EXPECT_FALSE(r.fault->hasDetail);
     }},
    {"soap12_fault",
     "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body><env:Fault>"
     "<env:Code><env:Value>env:Sender</env:Value><env:Subcode><env:Value xmlns:o=\"" +
         kOpc +
         "\">o:E_INVALIDITEMNAME</env:Value></env:Subcode></env:Code><env:Reason>"
         "<env:Text xml:lang=\"en\">Bad name</env:Text></env:Reason><env:Detail>d</env:Detail>"
         "</env:Fault></env:Body></env:Envelope>",
     [](const TReply& r) {
       EXPECT_EQ(r.soapVersion, 12);
       ASSERT_TRUE(r.fault);
       EXPECT_EQ(r.fault->code.local, "Sender");
       ASSERT_EQ(r.fault->subcodes.size(), 1u);
       EXPECT_EQ(r.fault->subcodes[0], (TQName{kOpc, "E_INVALIDITEMNAME"}));
       EXPECT_EQ(r.fault->string, "Bad name");
       EXPECT_EQ(r.fault->detail, "d");
     }},
};

class StackReplies : public testing::TestWithParam<StackCase> {};

TEST_P(StackReplies, AreReadWithoutProblems) {
  const TReply reply = ReadReply(GetParam().xml);
  EXPECT_TRUE(reply.problems.empty()) << ProblemList(reply);
  GetParam().check(reply);
}

INSTANTIATE_TEST_SUITE_P(Model, StackReplies, testing::ValuesIn(kStackCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Replies the model cannot read: each is reported with the reason, never guessed.
struct MalformedCase {
  const char* name;
  std::string xml;
  const char* problem; // a part of one problem's text
};

void PrintTo(const MalformedCase& c, std::ostream* out) {
  *out << c.name;
}
void PrintTo(const StackCase& c, std::ostream* out) {
  *out << c.name;
}

std::string Read(const std::string& items) {
  return Soap("soap",
              "<ReadResponse xmlns=\"" + kOpc +
                  "\"><ReadResult RcvTime=\"2024-05-01T12:00:00Z\" "
                  "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"running\"/><RItemList>" +
                  items + "</RItemList></ReadResponse>");
}

const MalformedCase kMalformed[] = {
    {"not_xml", "<soap:Envelope", "not well-formed"},
    {"empty", "", "not well-formed"},
    {"unbound_prefix", "<a:b/>", "not well-formed"},
    {"not_soap", "<html><body>502</body></html>", "not a SOAP envelope"},
    {"doctype",
     "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
     "<soap:Envelope xmlns:soap=\"" +
         kSoap11 + "\"><soap:Body>&b;</soap:Body></soap:Envelope>",
     "document type declaration"},
    {"empty_body", Soap("soap", ""), "holds no reply"},
    {"request_instead_of_reply", Soap("soap", "<Read xmlns=\"" + kOpc + "\"/>"),
     "not the reply of an OPC XML-DA operation"},
    {"reply_in_wrong_namespace", Soap("soap", "<ReadResponse xmlns=\"urn:other\"/>"),
     "not the reply of an OPC XML-DA operation"},
    {"no_reply_base", Soap("soap", "<ReadResponse xmlns=\"" + kOpc + "\"/>"), "has no ReadResult"},
    {"bad_int", Read("<Items><Value xsi:type=\"xsd:int\">12x</Value></Items>"),
     "\"12x\" is not a whole number"},
    {"int_out_of_range", Read("<Items><Value xsi:type=\"xsd:short\">40000</Value></Items>"),
     "out of the type's range"},
    {"bad_timestamp", Read("<Items Timestamp=\"2024-02-30T00:00:00Z\"/>"),
     "Timestamp \"2024-02-30T00:00:00Z\" is not a date and time"},
    {"undeclared_result_prefix", Read("<Items ResultID=\"zz:E_FAIL\"/>"),
     "ResultID \"zz:E_FAIL\" is not a name whose prefix is declared"},
    {"unknown_type", Read("<Items><Value xsi:type=\"xsd:gYear\">2024</Value></Items>"),
     "not one of the schema's"},
    {"elements_without_type", Read("<Items><Value><int>1</int></Value></Items>"), "names no type"},
    {"bad_array_element",
     Read("<Items><Value xsi:type=\"ArrayOfBoolean\"><boolean>yes</boolean>"
          "</Value></Items>"),
     "An element of the array \"yes\" is not a boolean"},
    {"unexpected_element", Read("<Items><Bogus/></Items>"), "Unexpected element"},
    {"unknown_state",
     Soap("soap", "<GetStatusResponse xmlns=\"" + kOpc +
                      "\"><GetStatusResult RcvTime=\"2024-05-01T12:00:00Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"sleeping\"/><Status/>"
                      "</GetStatusResponse>"),
     "ServerState \"sleeping\""},
    {"subscribe_without_handle",
     Soap("soap", "<SubscribeResponse xmlns=\"" + kOpc +
                      "\"><SubscribeResult RcvTime=\"2024-05-01T12:00:00Z\" "
                      "ReplyTime=\"2024-05-01T12:00:00Z\" ServerState=\"running\"/><RItemList>"
                      "<Items><ItemValue ItemName=\"x\"/></Items></RItemList></SubscribeResponse>"),
     "no ServerSubHandle"},
    {"deep_nesting",
     Soap("soap",
          [] {
            std::string s;
            for (int i = 0; i < 2000; ++i) {
              s += "<a>";
            }
            return s;
          }()),
     "nests deeper"},
};

class MalformedReplies : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedReplies, AreReported) {
  const TReply reply = ReadReply(GetParam().xml);
  const auto found = std::find_if(reply.problems.begin(), reply.problems.end(), [](const auto& p) {
    return p.text.find(GetParam().problem) != std::string::npos;
  });
  ASSERT_NE(found, reply.problems.end()) << ProblemList(reply);
  EXPECT_GT(found->line, 0) << ProblemList(reply);
}

INSTANTIATE_TEST_SUITE_P(Model, MalformedReplies, testing::ValuesIn(kMalformed),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyReader, ReadsPieceByPieceAsTheBytesArrive) {
  const std::string xml = kStackCases[0].xml;
  TReplyReader reader;
  for (char c : xml) {
    reader.Feed(std::string_view(&c, 1));
  }
  const TReply reply = reader.Finish();
  EXPECT_TRUE(reply.problems.empty()) << ProblemList(reply);
  kStackCases[0].check(reply);
}

TEST(ReplyReader, ReadsUtf16Replies) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-16\"?>" +
                          kStackCases[8].xml.substr(kStackCases[8].xml.find("?>") + 2);
  std::string utf16 = "\xFF\xFE";
  for (char c : xml) {
    utf16 += c;
    utf16 += '\0';
  }
  const TReply reply = ReadReply(utf16);
  EXPECT_TRUE(reply.problems.empty()) << ProblemList(reply);
  EXPECT_EQ(reply.clientRequestHandle, "c1");
}

} // namespace
} // namespace opc::xmlda
