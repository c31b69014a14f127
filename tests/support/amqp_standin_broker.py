#!/usr/bin/python3
"""A stand-in AMQP 1.0 broker that settles what it is sent as it is told.

usage: amqp_standin_broker.py PORT MODE [--delay S]

It listens on 127.0.0.1:PORT (anonymous logins), attaches any link to any
address, and prints "ready" once it listens, then one JSON line per message
it receives: {"message_id": ID}. MODE says what it does with each delivery:
  accept       accept it at once
  accept-late  accept it --delay seconds later
  never        never settle it
  reject       reject it (amqp:precondition-failed, naming the address)
  no-credit    give a sending link no credit at all
It runs until it is killed.
"""
import argparse
import json
import sys

from proton import Condition, Delivery
from proton.handlers import MessagingHandler
from proton.reactor import Container


class Settle:
    def __init__(self, delivery):
        self.delivery = delivery

    def on_timer_task(self, event):
        self.delivery.update(Delivery.ACCEPTED)
        self.delivery.settle()


class StandIn(MessagingHandler):
    def __init__(self, port, mode, delay):
        super().__init__(prefetch=0 if mode == "no-credit" else 100, auto_accept=False)
        self.port, self.mode, self.delay = port, mode, delay

    def on_start(self, event):
        event.container.listen("127.0.0.1:%d" % self.port)
        print("ready", flush=True)

    def on_link_opening(self, event):
        # Echo the address asked for, so that every address "exists".
        if event.link.is_sender:
            event.link.source.address = event.link.remote_source.address
        else:
            event.link.target.address = event.link.remote_target.address

    def on_message(self, event):
        print(json.dumps({"message_id": str(event.message.id)}), flush=True)
        delivery = event.delivery
        if self.mode == "accept":
            self.accept(delivery)
        elif self.mode == "accept-late":
            event.container.schedule(self.delay, Settle(delivery))
        elif self.mode == "reject":
            address = event.link.target.address or ""
            delivery.local.condition = Condition("amqp:precondition-failed",
                                                 "refused by the stand-in at " + address)
            self.reject(delivery)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("mode", choices=["accept", "accept-late", "never", "reject", "no-credit"])
    parser.add_argument("--delay", type=float, default=0.0)
    arguments = parser.parse_args()
    Container(StandIn(arguments.port, arguments.mode, arguments.delay)).run()


if __name__ == "__main__":
    sys.exit(main())
