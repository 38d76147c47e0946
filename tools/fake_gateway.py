#!/usr/bin/env python3
"""A scripted UPnP internet gateway on loopback, for screenshots of the router window.

Answers SSDP searches on 127.0.0.1:SSDP_PORT with the address of its device description,
served over HTTP on 127.0.0.1; its WANIPConnection service gives the external address
203.0.113.7 and three port mappings. Exits after --seconds (bounded), or on SIGINT/SIGTERM.

    tools/fake_gateway.py --ssdp-port 41900 --seconds 120 &
    zelkora --gateway-search 127.0.0.1:41900
"""

import argparse
import http.server
import signal
import socket
import sys
import threading
import time

LOOPBACK = "127.0.0.1"
MOST_SECONDS = 3600
MOST_BODY = 64 * 1024  # a SOAP request is a few hundred bytes
SERVICE = "urn:schemas-upnp-org:service:WANIPConnection:1"

DESCRIPTION = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0">
<specVersion><major>1</major><minor>0</minor></specVersion>
<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>Example Home Router</friendlyName>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<serviceList><service><serviceType>{service}</serviceType>
<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>
<controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn</eventSubURL>
<SCPDURL>/WANIPCn.xml</SCPDURL></service></serviceList>
</device></deviceList></device></deviceList></device></root>
""".format(service=SERVICE)

# external port, protocol, internal port, internal client, description
MAPPINGS = [
    ("8080", "TCP", "80", "192.168.1.20", "Home web server"),
    ("2222", "TCP", "22", "192.168.1.20", "SSH to the workstation"),
    ("3478", "UDP", "3478", "192.168.1.35", "Game console voice chat"),
]


def envelope(body):
    return ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/'
            'envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">'
            "<s:Body>" + body + "</s:Body></s:Envelope>\r\n")


def response(action, fields):
    return envelope('<u:{0}Response xmlns:u="{1}">{2}</u:{0}Response>'.format(
        action, SERVICE, "".join("<{0}>{1}</{0}>".format(k, v) for k, v in fields)))


def fault(code, text):
    return envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError"
                    "</faultstring><detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                    "<errorCode>{0}</errorCode><errorDescription>{1}</errorDescription>"
                    "</UPnPError></detail></s:Fault>".format(code, text))


def mapping_reply(request):
    start = request.find("<NewPortMappingIndex>")
    end = request.find("</NewPortMappingIndex>")
    try:
        index = int(request[start + len("<NewPortMappingIndex>"):end]) if start >= 0 else -1
    except ValueError:
        index = -1
    if not 0 <= index < len(MAPPINGS):
        return 500, fault(713, "SpecifiedArrayIndexInvalid")
    external, protocol, internal, client, description = MAPPINGS[index]
    return 200, response("GetGenericPortMappingEntry", [
        ("NewRemoteHost", ""), ("NewExternalPort", external), ("NewProtocol", protocol),
        ("NewInternalPort", internal), ("NewInternalClient", client), ("NewEnabled", "1"),
        ("NewPortMappingDescription", description), ("NewLeaseDuration", "0")])


class Gateway(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, status, body, content_type="text/xml; charset=\"utf-8\""):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def do_GET(self):
        if self.path == "/rootDesc.xml":
            self.reply(200, DESCRIPTION)
        else:
            self.reply(404, "")

    def do_POST(self):
        try:
            length = min(int(self.headers.get("Content-Length", "0")), MOST_BODY)
        except ValueError:
            length = 0
        request = self.rfile.read(length).decode("utf-8", "replace")
        action = self.headers.get("SOAPAction", "")
        if "GetExternalIPAddress" in action:
            self.reply(200, response("GetExternalIPAddress",
                                     [("NewExternalIPAddress", "203.0.113.7")]))
        elif "GetGenericPortMappingEntry" in action:
            self.reply(*mapping_reply(request))
        else:
            self.reply(500, fault(401, "Invalid Action"))

    def log_message(self, form, *args):
        sys.stderr.write("fake_gateway: http " + (form % args) + "\n")


def answer_searches(ssdp, location, stop):
    ssdp.settimeout(0.2)
    while not stop.is_set():
        try:
            data, sender = ssdp.recvfrom(2048)
        except socket.timeout:
            continue
        # Replies go back to loopback senders only.
        if not data.startswith(b"M-SEARCH") or not sender[0].startswith("127."):
            continue
        sys.stderr.write("fake_gateway: search from %s:%d\n" % sender)
        ssdp.sendto(("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\n"
                     "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                     "USN: uuid:fake-gateway::urn:schemas-upnp-org:device:"
                     "InternetGatewayDevice:1\r\nSERVER: Linux UPnP/1.0 fake_gateway/1.0\r\n"
                     "LOCATION: " + location + "\r\n\r\n").encode(), sender)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ssdp-port", type=int, required=True,
                        help="UDP port on 127.0.0.1 that answers searches")
    parser.add_argument("--http-port", type=int, default=0,
                        help="TCP port on 127.0.0.1 for the description (default: any free one)")
    parser.add_argument("--seconds", type=float, default=120,
                        help="exit after this many seconds (at most %d)" % MOST_SECONDS)
    args = parser.parse_args()
    if not 0 < args.seconds <= MOST_SECONDS:
        parser.error("--seconds must be above 0 and at most %d" % MOST_SECONDS)

    http_server = http.server.ThreadingHTTPServer((LOOPBACK, args.http_port), Gateway)
    http_server.daemon_threads = True
    ssdp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    ssdp.bind((LOOPBACK, args.ssdp_port))
    location = "http://%s:%d/rootDesc.xml" % (LOOPBACK, http_server.server_address[1])
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    threading.Thread(target=http_server.serve_forever, daemon=True).start()
    threading.Thread(target=answer_searches, args=(ssdp, location, stop), daemon=True).start()
    sys.stderr.write("fake_gateway: searches on %s:%d, description at %s\n"
                     % (LOOPBACK, args.ssdp_port, location))
    # Short waits, so the signal handlers run promptly.
    deadline = time.monotonic() + args.seconds
    while not stop.is_set() and time.monotonic() < deadline:
        stop.wait(0.2)
    http_server.shutdown()
    ssdp.close()


if __name__ == "__main__":
    main()
