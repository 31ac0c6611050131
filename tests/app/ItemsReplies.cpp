#include "ItemsReplies.h"

// Kept apart from the test class: the class's meta-object compiler does not read raw strings.
namespace opc::test {

// Item a uncertain with a limit, b bad, c unknown, d a value that is not of its type.
extern const char kReadReply[] = R"(<?xml version="1.0"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"
    xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
    xmlns:xsd="http://www.w3.org/2001/XMLSchema"><s:Body>
<q0:ReadResponse xmlns:q0="http://opcfoundation.org/webservices/XMLDA/1.0/">
 <q0:ReadResult RcvTime="2026-01-01T00:00:00Z" ReplyTime="2026-01-01T00:00:00.0000001Z"
   ServerState="running"/>
 <q0:RItemList>
  <q0:Items ItemName="a" ClientItemHandle="1"><q0:Value xsi:type="xsd:int">10</q0:Value>
   <q0:Quality QualityField="uncertainLastUsableValue" LimitField="low"/></q0:Items>
  <q0:Items ItemName="b" ClientItemHandle="2"><q0:Value xsi:type="xsd:int">9</q0:Value>
   <q0:Quality QualityField="badCommFailure"/></q0:Items>
  <q0:Items ItemName="c" ClientItemHandle="3" ResultID="q0:E_UNKNOWNITEMNAME"/>
  <q0:Items ItemName="d" ClientItemHandle="4"><q0:Value xsi:type="xsd:int">x7</q0:Value></q0:Items>
 </q0:RItemList>
</q0:ReadResponse></s:Body></s:Envelope>)";

extern const char kBigReadHead[] =
    R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"
 xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema">
<soap:Body><ReadResponse xmlns="http://opcfoundation.org/webservices/XMLDA/1.0/">
<ReadResult RcvTime="2026-01-01T00:00:00Z" ReplyTime="2026-01-01T00:00:00Z" ServerState="running"/>
<RItemList>)";

} // namespace opc::test
