#!/usr/bin/python3
"""Validates fwsweep's JSON against the schemas in docs/ (JSON Schema 2020-12).

    validate_json.py SCHEMA_DIR report FILE    one report document (what /json prints)
    validate_json.py SCHEMA_DIR history FILE   a history file: every line is a history line
    validate_json.py SCHEMA_DIR xml FILE       an XML document (/xml): well-formed

FILE "-" reads standard input. Exits 0 when valid, 1 with the errors on
standard error otherwise, 2 on a usage error. Formats (date-time) are checked.
"""
import json
import pathlib
import sys
import xml.dom.minidom

import jsonschema

SCHEMAS = {"report": "fwsweep-report.schema.json", "history": "fwsweep-history.schema.json"}


def validator(schema_dir, kind):
    path = pathlib.Path(schema_dir).resolve() / SCHEMAS[kind]
    schema = json.loads(path.read_text())
    cls = jsonschema.Draft202012Validator
    cls.check_schema(schema)
    # References to the other schema file resolve beside this one.
    resolver = jsonschema.RefResolver(base_uri=path.as_uri(), referrer=schema)
    return cls(schema, resolver=resolver, format_checker=cls.FORMAT_CHECKER)


def documents(kind, text):
    if kind == "report":
        yield "document", json.loads(text)
        return
    for number, line in enumerate(text.splitlines(), 1):
        if line.strip():
            yield "line %d" % number, json.loads(line)


def well_formed(text):
    try:
        xml.dom.minidom.parseString(text)
    except Exception as e:  # the parser's errors have no common base
        print("not well-formed XML: %s" % e, file=sys.stderr)
        return 1
    return 0


def main(argv):
    if len(argv) != 4 or argv[2] not in list(SCHEMAS) + ["xml"]:
        print(__doc__, file=sys.stderr)
        return 2
    text = sys.stdin.read() if argv[3] == "-" else pathlib.Path(argv[3]).read_text()
    if argv[2] == "xml":
        return well_formed(text)
    check = validator(argv[1], argv[2])
    failed = False
    try:
        for where, doc in documents(argv[2], text):
            for error in check.iter_errors(doc):
                failed = True
                location = "/".join(str(p) for p in error.absolute_path)
                print("%s: %s: %s" % (where, location or "(top)", error.message), file=sys.stderr)
    except json.JSONDecodeError as e:
        print("not JSON: %s" % e, file=sys.stderr)
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
