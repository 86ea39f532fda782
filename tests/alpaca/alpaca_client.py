#!/usr/bin/python3
"""An HTTP and discovery client written independently of the program: the Python standard library only.

Usage: alpaca_client.py COMMAND ARGS...
  http PORT              reads a JSON list of requests from standard input, each
                         {"method": "GET"|"PUT", "path": "/api/...", "query": {...}, "form": {...}},
                         and sends them in order on one kept-alive connection to 127.0.0.1:PORT
  parallel PORT CLIENTS REQUESTS PATH
                         CLIENTS connections at once, each sending REQUESTS GETs of PATH with its own
                         ClientTransactionID; every answer is checked to echo it
  discover PORT          sends "alpacadiscovery1" to 127.0.0.1:PORT and waits 5 s for the answer

Prints one JSON document on standard output.
"""
import http.client
import json
import socket
import sys
import threading
import urllib.parse


def answer_of(response):
    body = response.read().decode("utf-8")
    try:
        parsed = json.loads(body)
    except ValueError:
        parsed = None
    return {
        "status": response.status,
        "content_type": response.getheader("Content-Type"),
        "nosniff": response.getheader("X-Content-Type-Options"),
        "body": body,
        "json": parsed,
    }


def run_http(port):
    requests = json.load(sys.stdin)
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    answers = []
    for request in requests:
        path = request["path"]
        if request.get("query"):
            path += "?" + urllib.parse.urlencode(request["query"])
        body = None
        headers = {}
        if request.get("form") is not None:
            body = urllib.parse.urlencode(request["form"])
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        connection.request(request.get("method", "GET"), path, body=body, headers=headers)
        answers.append(answer_of(connection.getresponse()))
    connection.close()
    return answers


def run_parallel(port, clients, count, path):
    results = []
    lock = threading.Lock()
    start = threading.Barrier(clients)

    def client(number):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
        start.wait()
        for i in range(count):
            sent = number * 1000 + i + 1
            connection.request("GET", f"{path}?ClientID={number}&ClientTransactionID={sent}")
            answer = answer_of(connection.getresponse())
            value = answer["json"] or {}
            with lock:
                results.append({
                    "status": answer["status"],
                    "echoed": value.get("ClientTransactionID") == sent,
                    "server": value.get("ServerTransactionID"),
                })
        connection.close()

    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results


def run_discover(port):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(5)
    sock.sendto(b"alpacadiscovery1", ("127.0.0.1", port))
    try:
        data, _ = sock.recvfrom(1024)
    except socket.timeout:
        return {"answer": None}
    return {"answer": json.loads(data.decode("utf-8"))}


def main():
    command = sys.argv[1]
    if command == "http":
        result = run_http(int(sys.argv[2]))
    elif command == "parallel":
        result = run_parallel(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    elif command == "discover":
        result = run_discover(int(sys.argv[2]))
    else:
        sys.exit("unknown command " + command)
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
