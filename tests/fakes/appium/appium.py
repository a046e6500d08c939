#!/usr/bin/python3 -IS
"""A stand-in for the Appium command line.

  appium driver list --installed --json   prints $FAKE_APPIUM_DRIVERS (default "{}").
  appium --address A --port N ...         the server: appends {"args": [...], "env": {...}} to
                                          $FAKE_APPIUM_RECORD, writes a line to stdout and one to
                                          stderr, then listens on 127.0.0.1:N and forwards every
                                          connection to 127.0.0.1:$FAKE_APPIUM_UPSTREAM (a fake HTTP
                                          server that scripts the WebDriver replies).
                                          FAKE_APPIUM_FAIL=1 makes it exit 1 instead of serving.
                                          FAKE_APPIUM_TERM_DELAY_MS: on SIGTERM it logs, keeps
                                          running that long, logs its last line and exits 0.
                                          FAKE_APPIUM_CHILD=1: it starts a helper ("sleep 300")
                                          that it never ends.
"""
import json
import os
import signal
import subprocess
import socket
import sys
import threading
import time


def pipe(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
    except OSError:
        pass
    for end in (source, target):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def shut_down_slowly(delay_ms):
    print('[Appium] Received SIGTERM - shutting down', flush=True)

    def close():
        time.sleep(delay_ms / 1000)
        print('[Appium] Closed the server', flush=True)
        os._exit(0)
    threading.Thread(target=close, daemon=True).start()


def main(arguments):
    if arguments[:2] == ['driver', 'list']:
        print(os.environ.get('FAKE_APPIUM_DRIVERS', '{}'), end='')
        return 0
    if '--port' not in arguments[:-1]:
        print('fake appium: unexpected arguments', file=sys.stderr)
        return 2
    if os.environ.get('FAKE_APPIUM_RECORD'):
        environment = {name: os.environ[name] for name in ('PATH', 'ANDROID_HOME', 'ANDROID_SDK_ROOT') if name in os.environ}
        with open(os.environ['FAKE_APPIUM_RECORD'], 'a') as record:
            record.write(json.dumps({'args': arguments, 'env': environment}) + '\n')
    if os.environ.get('FAKE_APPIUM_FAIL') == '1':
        print('fake appium: refusing to start', flush=True)
        return 1
    port = int(arguments[arguments.index('--port') + 1])
    try:
        listener = socket.create_server(('127.0.0.1', port))
    except OSError:
        print(f'fake appium: cannot listen on {port}', file=sys.stderr)
        return 3
    if (term_delay := int(os.environ.get('FAKE_APPIUM_TERM_DELAY_MS', '0'))) > 0:
        signal.signal(signal.SIGTERM, lambda *_: shut_down_slowly(term_delay))
    if os.environ.get('FAKE_APPIUM_CHILD') == '1':
        subprocess.Popen(['sleep', '300'])
    print(f'[Appium] Welcome to fake Appium on port {port}', flush=True)
    print('[Appium] fake diagnostics on stderr', file=sys.stderr, flush=True)
    while True:
        client, _ = listener.accept()
        try:
            upstream = socket.create_connection(('127.0.0.1', int(os.environ.get('FAKE_APPIUM_UPSTREAM', '0'))))
        except OSError:
            client.close()
            continue
        for source, target in ((client, upstream), (upstream, client)):
            threading.Thread(target=pipe, args=(source, target), daemon=True).start()


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
