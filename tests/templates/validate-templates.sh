#!/usr/bin/env bash
# Validates every request template against the schema inside the OPC XML-DA 1.0 WSDL.
# usage: validate-templates.sh <templates folder> <wsdl>
# Exits 77 (skipped) when the WSDL is not there.
set -euo pipefail
templates=$1
wsdl=$2
if [ ! -f "$wsdl" ]; then
  echo "skipped: the OPC XML-DA 1.0 WSDL is not at $wsdl"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The schema element of the WSDL, with the namespaces it borrows from the definitions element.
python3 - "$wsdl" "$work/schema.xsd" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
schema = re.search(r"<s:schema.*?</s:schema>", text, re.S).group(0)
schema = schema.replace("<s:schema", '<s:schema xmlns:s="http://www.w3.org/2001/XMLSchema" '
                        'xmlns:s0="http://opcfoundation.org/webservices/XMLDA/1.0/"', 1)
open(sys.argv[2], "w", encoding="utf-8").write(schema)
PY

status=0
for template in "$templates"/*.x; do
  name=$(basename "$template" .x)
  # The time placeholders are filled as the Go command fills them; the envelope's prefixes are
  # declared on a wrapper that stands in for the Body.
  sed -e 's/#now[^#]*#/2024-05-01T14:03:07.123+02:00/g' "$template" >"$work/$name.body"
  python3 - "$work/$name.body" "$work/$name.xml" <<'PY'
import sys, xml.dom.minidom as m
body = open(sys.argv[1], encoding="ascii").read()
doc = m.parseString('<w xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
                    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">' + body + '</w>')
element = [n for n in doc.documentElement.childNodes if n.nodeType == n.ELEMENT_NODE][0]
for prefix, uri in (("xsd", "http://www.w3.org/2001/XMLSchema"),
                    ("xsi", "http://www.w3.org/2001/XMLSchema-instance")):
    element.setAttribute("xmlns:" + prefix, uri)
open(sys.argv[2], "w", encoding="utf-8").write(element.toxml())
PY
  root=$(python3 -c 'import sys,re; print(re.match(r"\s*<(\w+)", open(sys.argv[1]).read()).group(1))' "$work/$name.body")
  if [ "$root" != "$name" ]; then
    echo "$template: root element is $root, expected $name"
    status=1
  fi
  if ! xmllint --noout --schema "$work/schema.xsd" "$work/$name.xml" 2>"$work/err"; then
    cat "$work/err"
    status=1
  fi
  if ! python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); r = d.replace(b"\r\n", b"")
sys.exit(0 if b"\n" not in r and b"\r" not in r and max(d) < 128 else 1)' "$template"; then
    echo "$template: not plain ASCII with CR LF line breaks"
    status=1
  fi
done
exit $status
