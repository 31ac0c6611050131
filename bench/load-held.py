#!/usr/bin/env python3
"""The simulator under held refreshes, slow clients and a subscribe-without-cancel loop.

usage: load-held.py PID PORT SECONDS HELD SLOW

Opens HELD polled refreshes held nine minutes and SLOW connections that send one byte of their
request every ten seconds, then asks for GetStatus from a fresh connection every 50 ms for SECONDS
while a client subscribes without ever cancelling. Prints the GetStatus latency (median and 99th
percentile), the errors, and the server's resident memory at start, halfway and at the end.
"""
import datetime
import socket
import statistics
import sys
import time

pid, port, seconds, held, slow = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
PATH = "/opcxmlda/QuelmSim.Tandrel.Simulation"
NS = 'xmlns="http://opcfoundation.org/webservices/XMLDA/1.0/"'


def envelope(body):
    return ('<?xml version="1.0" encoding="utf-8"?><s:Envelope '
            'xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>' + body +
            '</s:Body></s:Envelope>').encode()


def request(body, action):
    return (f"POST {PATH} HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\n"
            f"SOAPAction: \"http://opcfoundation.org/webservices/XMLDA/1.0/{action}\"\r\n"
            f"Connection: close\r\nContent-Length: {len(body)}\r\n\r\n").encode() + body


def rss():
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def call(body, action, timeout=10.0):
    """A request on a fresh connection: (seconds taken, status code or None)."""
    start = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(request(body, action))
            data = b""
            while True:
                piece = s.recv(65536)
                if not piece:
                    break
                data += piece
        code = int(data.split(b" ", 2)[1]) if data.startswith(b"HTTP/1.1 ") else None
        return time.monotonic() - start, code, data
    except OSError:
        return time.monotonic() - start, None, b""


before = rss()
_, code, data = call(envelope(f'<Subscribe {NS}><ItemList><Items ItemName="Static/Int32"/></ItemList></Subscribe>'),
                     "Subscribe")
handle = data.split(b'ServerSubHandle="')[1].split(b'"')[0].decode() if code == 200 else "1"
hold = (datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(minutes=9)).isoformat()
refresh = request(envelope(f'<SubscriptionPolledRefresh {NS} HoldTime="{hold}">'
                           f'<ServerSubHandles>{handle}</ServerSubHandles></SubscriptionPolledRefresh>'),
                  "SubscriptionPolledRefresh")
sockets = []
for _ in range(held):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(refresh)
    sockets.append(s)
slow_request = request(envelope(f"<GetStatus {NS}/>"), "GetStatus")
slowSockets = []
for _ in range(slow):
    s = socket.create_connection(("127.0.0.1", port))
    slowSockets.append([s, 0])
time.sleep(0.5)

status = envelope(f"<GetStatus {NS}/>")
subscribe = envelope(f'<Subscribe {NS} SubscriptionPingRate="0"><ItemList>' +
                     '<Items ItemName="Static/Int32"/>' * 100 + '</ItemList></Subscribe>')
latencies, errors, subscribes, refused, failed = [], 0, 0, 0, 0
middle = None
start = time.monotonic()
nextTrickle = start
while time.monotonic() - start < seconds:
    now = time.monotonic()
    if now >= nextTrickle:  # one byte on every slow connection, every ten seconds
        for entry in slowSockets:
            s, sent = entry
            if sent < len(slow_request) - 1:
                try:
                    s.send(slow_request[sent:sent + 1])
                    entry[1] += 1
                except OSError:
                    pass
        nextTrickle = now + 10
    if middle is None and now - start >= seconds / 2:
        middle = rss()
    took, code, data = call(status, "GetStatus", timeout=5)
    if code == 200 and b"GetStatusResponse" in data:
        latencies.append(took)
    else:
        errors += 1
    for _ in range(5):
        _, code, data = call(subscribe, "Subscribe")
        subscribes += 1
        if code == 500 and b"E_OUTOFMEMORY" in data:
            refused += 1
        elif code != 200:
            failed += 1
    time.sleep(0.05)
after = rss()
for s in sockets:
    s.close()
for s, _ in slowSockets:
    s.close()
latencies.sort()
median = statistics.median(latencies) * 1000 if latencies else float("nan")
p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))] * 1000 if latencies else float("nan")
print(f"  {held} held refreshes, {slow} slow connections open; GetStatus from a fresh connection: "
      f"{len(latencies) + errors} requests, median {median:.1f} ms, 99th percentile {p99:.1f} ms, "
      f"{errors} errors")
print(f"  subscribe without cancel (100 items each): {subscribes} requests, "
      f"{refused} refused at the limit, {failed} failed")
print(f"  server resident memory: {before} KiB at start, {middle} KiB halfway, {after} KiB at the end")
