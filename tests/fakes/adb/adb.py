#!/usr/bin/python3 -IS
"""adb ARGS...: a stand-in for Android Debug Bridge, driven by the JSON file named in FAKE_ADB_SCENARIO:
  {"log": "/abs/calls.jsonl",               every call is appended: {"args": [...]}
   "rules": [{"args": ["devices", "-l"],     matched exactly against the arguments
              "responses": [R, R, ...]}]}    served in order per rule; the last one repeats
  R = {"stdout": "text" | "stdoutBase64": "...", "stderr": "text", "exit": 0, "delayMs": 0}
delayMs sleeps before anything is written (a slow command). Arguments without a rule exit 1 with a
message on standard error. A call without a scenario (a loop outliving its test) fails and logs nothing.
"""
import base64
import json
import os
import sys
import time


def main():
    args, path = sys.argv[1:], os.environ.get('FAKE_ADB_SCENARIO')
    if not path:
        return 1
    try:
        with open(path, encoding='utf-8') as file:
            scenario = json.load(file)
    except (OSError, ValueError):
        scenario = {}
    log = scenario.get('log', path + '.calls')
    try:
        with open(log, encoding='utf-8') as file:
            earlier = sum(1 for line in file if line.strip() and json.loads(line).get('args') == args)
    except OSError:
        earlier = 0
    with open(log, 'a', encoding='utf-8') as file:
        file.write(json.dumps({'args': args}) + '\n')
    for rule in scenario.get('rules', []):
        if rule.get('args') != args:
            continue
        responses = rule.get('responses') or [{}]
        response = responses[min(earlier, len(responses) - 1)]
        time.sleep(response.get('delayMs', 0) / 1000)
        out = response.get('stdout', '').encode()
        if 'stdoutBase64' in response:
            out = base64.b64decode(response['stdoutBase64'])
        for stream, data in ((sys.stdout, out), (sys.stderr, response.get('stderr', '').encode())):
            stream.buffer.write(data)
            stream.buffer.flush()
        return response.get('exit', 0)
    print('fake adb: no rule for:', ' '.join(args), file=sys.stderr)
    return 1


if __name__ == '__main__':
    sys.exit(main())
