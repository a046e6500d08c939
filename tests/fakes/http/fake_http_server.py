#!/usr/bin/python3 -IS
"""fake_http_server.py SCENARIO.json REQUEST_LOG.jsonl: a scripted HTTP/1.1 server on 127.0.0.1.

Prints "PORT <n>" first. SCENARIO.json:
  {"routes": [{"method": "GET", "path": "/v1/files/KEY", "match": "exact" | "prefix", "responses": [R, ...]}]}
A route's responses are served in order, the last one repeating. An exact path is compared without
the query. The file is re-read whenever it changes; the sequences then restart.
  R = {"status": 200, "headers": {...}, "body": "text" | "bodyBase64": "...", "delayMs": 0,
       "close": true                      drop the connection without a reply,
       "chunks": [{"data": "text" | "base64": "...", "delayMs": 0}], "repeatChunks": false
                                          a stream without length, closed after the last chunk}
A body with a length keeps the connection open unless the request asked to close it.
Every request is appended to REQUEST_LOG.jsonl before it is answered:
  {"method", "path" (with query, as sent), "headers" (names in lower case), "body", "time" (ms on the monotonic clock)}.
"""
import base64
import json
import socketserver
import sys
import threading
import time
from http import HTTPStatus

REASONS = {status.value: status.phrase for status in HTTPStatus}


def payload(obj, base64_key, text_key):
    if base64_key in obj:
        return base64.b64decode(obj[base64_key])
    return str(obj.get(text_key, '')).encode()


class Scenario:
    def __init__(self, path):
        self.path, self.stamp, self.routes = path, None, []

    def refresh(self):
        """Re-reads the file when it changed; returns an error text, the old routes staying in force."""
        try:
            with open(self.path, 'rb') as scenario:
                content = scenario.read()
            if content != self.stamp:
                routes = json.loads(content).get('routes', [])
                self.routes = [dict(route, method=str(route.get('method', '')).upper(), served=0) for route in routes]
                self.stamp = content
        except (OSError, ValueError, AttributeError) as error:
            return f'cannot use scenario {self.path}: {error}'
        return None

    def next_response(self, method, target):
        for route in self.routes:
            path, match = route.get('path', ''), route.get('match', 'exact')
            if route['method'] != method.upper():
                continue
            if target.startswith(path) if match == 'prefix' else target.split('?', 1)[0] == path:
                responses = route.get('responses') or [{}]
                response = responses[min(route['served'], len(responses) - 1)]
                route['served'] += 1
                return response or {'status': 200}
        return None


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        try:
            while self.serve():
                pass
        except (OSError, ValueError):  # the client went away or sent nonsense
            pass

    def serve(self):
        """Answers one request; returns whether the connection stays open."""
        request_line = self.rfile.readline(65536).decode('latin-1').split()
        if len(request_line) < 3:
            return False
        method, target = request_line[:2]
        headers = {}
        while line := self.rfile.readline(65536).decode(errors='replace').strip():
            name, _, value = line.partition(':')
            headers[name.strip().lower()] = value.strip()
        body = self.rfile.read(int(headers.get('content-length') or 0))
        keep_alive = 'close' not in headers.get('connection', '').lower()
        server = self.server
        with server.lock:
            problem = server.scenario.refresh()
            if problem:
                print(f'fake-http-server: {problem}', file=sys.stderr, flush=True)
            server.log.write(json.dumps({'method': method, 'path': target, 'headers': headers,
                                         'body': body.decode(errors='replace'),
                                         'time': time.monotonic() * 1000}) + '\n')
            server.log.flush()
            response = server.scenario.next_response(method, target)
        if response is None:
            response = {'status': 404, 'headers': {'Content-Type': 'application/json'},
                        'body': json.dumps({'error': 'no route', 'method': method, 'path': target}, separators=(',', ':'))}
        time.sleep(response.get('delayMs', 0) / 1000)
        if response.get('close'):
            return False
        return self.respond(response, keep_alive)

    def respond(self, response, keep_alive):
        status = response.get('status', 200)
        head = [f'HTTP/1.1 {status} {REASONS.get(status, "Status")}']
        head += [f'{name}: {value}' for name, value in response.get('headers', {}).items()]
        streamed = 'chunks' in response
        body = b'' if streamed else payload(response, 'bodyBase64', 'body')
        if not streamed:
            head.append(f'Content-Length: {len(body)}')
        head.append('Connection: ' + ('keep-alive' if keep_alive and not streamed else 'close'))
        self.wfile.write(('\r\n'.join(head) + '\r\n\r\n').encode())
        if not streamed:
            self.wfile.write(body)
            return keep_alive
        chunks = response['chunks']
        while True:
            for chunk in chunks:
                time.sleep(chunk.get('delayMs', 0) / 1000)
                self.wfile.write(payload(chunk, 'base64', 'data'))
            if not (response.get('repeatChunks') and chunks):
                return False


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: fake_http_server.py SCENARIO.json REQUEST_LOG.jsonl')
    server = socketserver.ThreadingTCPServer(('127.0.0.1', 0), Handler)
    server.daemon_threads = True
    server.scenario, server.lock = Scenario(sys.argv[1]), threading.Lock()
    problem = server.scenario.refresh()
    if problem:
        sys.exit(f'fake-http-server: {problem}')
    server.log = open(sys.argv[2], 'a', encoding='utf-8')
    print(f'PORT {server.server_address[1]}', flush=True)
    server.serve_forever()


if __name__ == '__main__':
    main()
