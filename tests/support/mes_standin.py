#!/usr/bin/python3
"""A MES of the tests' own, speaking CFX request/response as the SDK does.

usage: mes_standin.py serve PORT HANDLE [--refuse UNIT] [--message TEXT]
                            [--code N] [--delay S] [--never]
       mes_standin.py ask URL HANDLE MESSAGE_NAME [--garbage]

serve: listens on 127.0.0.1:PORT (anonymous logins) with HANDLE as its
request node, prints "ready", then one JSON line per ValidateUnitsRequest
({"unit": ..., "request_id": ...}) and answers it on the link to the
request's reply-to: Passed, or Failed with --message and --code for the
unit --refuse names; --delay S late; --never not at all.

ask: sends one request MESSAGE_NAME (or, with --garbage, bytes that are no
JSON) to the endpoint at URL (amqp://HOST:PORT) whose handle is HANDLE, as
the SDK's requester does, and prints the answer's envelope as one JSON line
(or {"rejected": CONDITION}); exits 1 without either within 10 s.
"""
import argparse
import gzip
import json
import sys
import uuid

from proton import Message
from proton.handlers import MessagingHandler
from proton.reactor import Container

ME = "Tests.MES"


def envelope(name, body, target, request_id):
    return {"MessageName": name, "Version": "2.1", "TimeStamp": None,
            "UniqueID": str(uuid.uuid4()), "Source": ME, "Target": target,
            "RequestID": request_id, "MessageBody": body}


def read_body(message):
    body = message.body
    if isinstance(body, memoryview):
        body = bytes(body)
    if isinstance(body, str):
        body = body.encode()
    if message.content_encoding == "gzip" or body[:2] == b"\x1f\x8b":
        body = gzip.decompress(body)
    parsed = json.loads(body)
    return parsed if isinstance(parsed, list) else [parsed]


class Answer:
    def __init__(self, server, reply_to, message):
        self.server, self.reply_to, self.message = server, reply_to, message

    def on_timer_task(self, event):
        self.server.send_to(self.reply_to, self.message)


class Serve(MessagingHandler):
    def __init__(self, args):
        super().__init__()
        self.args, self.replies = args, {}

    def on_start(self, event):
        event.container.listen("127.0.0.1:%d" % self.args.port)
        print("ready", flush=True)

    def on_link_opening(self, event):
        if event.link.is_sender:
            event.link.source.address = event.link.remote_source.address
            event.link.target.address = event.link.remote_target.address
            self.replies[event.link.remote_target.address] = event.link
        else:
            event.link.target.address = event.link.remote_target.address

    def send_to(self, reply_to, message):
        link = self.replies.get(reply_to)
        if link is not None:
            link.send(message)

    def on_message(self, event):
        for request in read_body(event.message):
            body = request["MessageBody"]
            unit = body["Units"][0]["UnitIdentifier"]
            print(json.dumps({"unit": unit, "request_id": request["RequestID"]}), flush=True)
            if self.args.never:
                continue
            refused = unit == self.args.refuse
            result = {"UniqueIdentifier": unit, "PositionNumber": 0,
                      "Result": "Failed" if refused else "Passed",
                      "FailureCode": self.args.code if refused else 0,
                      "Message": self.args.message if refused else None}
            answer = envelope("CFX.InformationSystem.UnitValidation.ValidateUnitsResponse",
                              {"Result": {"Result": "Success", "ResultCode": 0, "Message": None},
                               "PrimaryResult": result, "ValidationResults": [result]},
                              request["Source"], request["RequestID"])
            message = Message(body=gzip.compress(json.dumps([answer]).encode()),
                              content_encoding="gzip", correlation_id=request["RequestID"])
            message.inferred = True
            event.container.schedule(self.args.delay, Answer(self, event.message.reply_to, message))


class Ask(MessagingHandler):
    def __init__(self, args):
        super().__init__()
        self.args, self.done = args, False
        self.reply = ME + "-" + str(uuid.uuid4())

    def on_start(self, event):
        event.container.schedule(10, self)
        connection = event.container.connect(self.args.url)
        event.container.create_receiver(connection, self.args.handle, target=self.reply)
        self.sender = event.container.create_sender(connection, self.args.handle)

    def on_timer_task(self, event):
        event.container.stop()

    def on_sendable(self, event):
        if getattr(self, "sent", False):
            return
        self.sent = True
        if self.args.garbage:
            body = b"\x00 this is no JSON"
        else:
            request = envelope(self.args.name, {"CFXHandle": self.args.handle}, self.args.handle,
                               str(uuid.uuid4()))
            body = json.dumps(request).encode()
        message = Message(body=body, reply_to=self.reply, content_type="application/json")
        message.inferred = True
        event.sender.send(message)

    def on_rejected(self, event):
        condition = event.delivery.remote.condition
        self.finish(event, {"rejected": condition.name if condition else None})

    def on_message(self, event):
        self.finish(event, read_body(event.message)[0])

    def finish(self, event, line):
        print(json.dumps(line), flush=True)
        self.done = True
        event.connection.close()
        event.container.stop()


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    serve = commands.add_parser("serve")
    serve.add_argument("port", type=int)
    serve.add_argument("handle")
    serve.add_argument("--refuse", default="")
    serve.add_argument("--message", default="on hold")
    serve.add_argument("--code", type=int, default=0)
    serve.add_argument("--delay", type=float, default=0.0)
    serve.add_argument("--never", action="store_true")
    ask = commands.add_parser("ask")
    ask.add_argument("url")
    ask.add_argument("handle")
    ask.add_argument("name")
    ask.add_argument("--garbage", action="store_true")
    args = parser.parse_args()
    if args.command == "serve":
        Container(Serve(args)).run()
        return 0
    handler = Ask(args)
    Container(handler).run()
    return 0 if handler.done else 1


if __name__ == "__main__":
    sys.exit(main())
