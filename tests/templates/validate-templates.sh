#!/usr/bin/env bash
# Validates every request template against the schema inside the OPC XML-DA 1.0 WSDL.
# usage: validate-templates.sh <templates folder> <wsdl>
# Exits 77 (skipped) when the WSDL is not there.
# One Python run prepares all templates and one xmllint run checks them all, so the large schema
# is compiled once rather than once per template.
set -euo pipefail
templates=$1
wsdl=$2
if [ ! -f "$wsdl" ]; then
  echo "skipped: the OPC XML-DA 1.0 WSDL is not at $wsdl"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
python3 - "$wsdl" "$templates" "$work" <<'PY' || status=1
import glob, os, re, sys, xml.dom.minidom as m
wsdl, templates, work = sys.argv[1:4]

# The schema element of the WSDL, with the namespaces it borrows from the definitions element.
text = open(wsdl, encoding="utf-8").read()
schema = re.search(r"<s:schema.*?</s:schema>", text, re.S).group(0)
schema = schema.replace("<s:schema", '<s:schema xmlns:s="http://www.w3.org/2001/XMLSchema" '
                        'xmlns:s0="http://opcfoundation.org/webservices/XMLDA/1.0/"', 1)
open(os.path.join(work, "schema.xsd"), "w", encoding="utf-8").write(schema)

failed = False
for template in sorted(glob.glob(os.path.join(templates, "*.x"))):
    name = os.path.basename(template)[:-2]
    data = open(template, "rb").read()
    stripped = data.replace(b"\r\n", b"")
    if b"\n" in stripped or b"\r" in stripped or (data and max(data) >= 128):
        print(f"{template}: not plain ASCII with CR LF line breaks")
        failed = True
    # The time placeholders are filled as the Go command fills them; the envelope's prefixes are
    # declared on a wrapper that stands in for the Body.
    body = re.sub(r"#now[^#]*#", "2024-05-01T14:03:07.123+02:00",
                  data.decode("ascii", errors="replace"))
    root = re.match(r"\s*<(\w+)", body)
    if not root or root.group(1) != name:
        print(f"{template}: root element is {root.group(1) if root else None}, expected {name}")
        failed = True
    doc = m.parseString('<w xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
                        'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">' + body + '</w>')
    element = [n for n in doc.documentElement.childNodes if n.nodeType == n.ELEMENT_NODE][0]
    for prefix, uri in (("xsd", "http://www.w3.org/2001/XMLSchema"),
                        ("xsi", "http://www.w3.org/2001/XMLSchema-instance")):
        element.setAttribute("xmlns:" + prefix, uri)
    open(os.path.join(work, name + ".xml"), "w", encoding="utf-8").write(element.toxml())
sys.exit(1 if failed else 0)
PY

shopt -s nullglob
prepared=("$work"/*.xml)
if [ ${#prepared[@]} -eq 0 ]; then
  echo "no templates in $templates"
  exit 1
fi
if ! xmllint --noout --schema "$work/schema.xsd" "${prepared[@]}" 2>"$work/err"; then
  cat "$work/err"
  status=1
fi
exit $status
