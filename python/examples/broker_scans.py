"""Takes from an MQTT broker the telegrams that telegram-record --publish
sent there, as tgr.Telegram objects with their original times and
sources, and prints each scanner's scans as they come. Uses Debian's
python3-paho-mqtt (MQTT 5, for the properties each message carries).

usage: python3 broker_scans.py HOST PORT TOPIC [COUNT]
"""

import queue
import sys

import paho.mqtt.client as mqtt

import tgr

host, port, topic = sys.argv[1], int(sys.argv[2]), sys.argv[3]
count = int(sys.argv[4]) if len(sys.argv) > 4 else None
arrived: "queue.Queue[tgr.Telegram]" = queue.Queue(maxsize=10000)


def telegram_of(message: mqtt.MQTTMessage) -> tgr.Telegram:
    """The message's bytes, with the time and source telegram-record gave it."""
    facts = dict(getattr(message.properties, "UserProperty", []) or [])
    address, _, source_port = facts.get("source", "0.0.0.0:0").rpartition(":")
    return tgr.decode(message.payload, time_ns=int(facts.get("time_ns", 0)), source=(address, int(source_port)))


def on_connect(client, _userdata, _flags, reason, _properties=None):
    if reason == 0:
        client.subscribe(topic + "/#", qos=1)
    else:
        print(f"the broker refused the connection: {reason}", file=sys.stderr)


client = mqtt.Client(protocol=mqtt.MQTTv5)
client.on_connect = on_connect
client.on_message = lambda _client, _userdata, message: arrived.put(telegram_of(message))
client.connect(host, port, keepalive=10, clean_start=True)
client.loop_start()
print(f"subscribed to {topic}/# at {host}:{port}", flush=True)


def telegrams():
    """The telegrams as they come: `count` of them, or until Ctrl-C."""
    taken = 0
    while count is None or taken < count:
        yield arrived.get()
        taken += 1


try:
    for scan in tgr.scans(telegrams()):
        source = f"{scan.source[0]}:{scan.source[1]}"
        missing = "" if scan.complete else f", blocks missing: {scan.missing + scan.missing_tail}"
        print(f"{source} scan {scan.scan_no}: {len(scan.blocks)} blocks{missing}", flush=True)
except KeyboardInterrupt:
    pass
client.loop_stop()
