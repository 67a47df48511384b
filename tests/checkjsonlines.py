"""Checks each line of standard input against the JSON Schema named by the
first argument; prints every line that does not fit, and why."""
import json
import sys

import jsonschema

with open(sys.argv[1], encoding="utf-8") as schema_file:
    schema = json.load(schema_file)
validator_class = jsonschema.validators.validator_for(schema)
validator_class.check_schema(schema)
validator = validator_class(schema)
failed = 0
for number, line in enumerate(sys.stdin, 1):
    try:
        errors = [error.message for error in validator.iter_errors(json.loads(line))]
    except ValueError as error:
        errors = ["not JSON: %s" % error]
    for message in errors:
        print("line %d: %s\n  %s" % (number, message, line.rstrip()))
        failed += 1
sys.exit(1 if failed else 0)
