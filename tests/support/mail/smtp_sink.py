#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An SMTP server for the mail tests: aiosmtpd on 127.0.0.1 and a free port.

Prints "PORT <n>" once it listens, then serves until it is killed. Every
message it accepts is written to OUTDIR/<n>.json (n counting from 1): the
envelope, the credentials of the session, whether it ran under TLS, the raw
message, and what Python's email package reads back from it; the raw
message also goes to OUTDIR/<n>.eml as it arrived.

  smtp_sink.py OUTDIR [--tls CERT KEY]

Without --tls, AUTH LOGIN is offered in clear; with it, STARTTLS is offered
and AUTH only after it.
"""

import argparse
import asyncio
import base64
import email
import json
import os
import ssl
import sys
from email import policy

from aiosmtpd.smtp import SMTP, AuthResult


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content
        msg = email.message_from_bytes(raw, policy=policy.default)
        text = None
        files = []
        for part in msg.walk():
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment":
                files.append({
                    "name": part.get_filename(),
                    "data": base64.b64encode(part.get_payload(decode=True)).decode(),
                })
            elif text is None and part.get_content_type() == "text/plain":
                text = part.get_content()
        creds = session.auth_data
        sender = msg["from"].addresses[0] if msg["from"] else None
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": creds.login.decode("latin-1") if creds else None,
            "password": creds.password.decode("latin-1") if creds else None,
            "tls": session.ssl is not None,
            "raw": base64.b64encode(raw).decode(),
            "subject": str(msg["subject"]),
            "from_name": sender.display_name if sender else None,
            "from_address": sender.addr_spec if sender else None,
            "to": str(msg["to"]),
            "text": text,
            "files": files,
            "defects": [type(d).__name__ for part in msg.walk() for d in part.defects],
        }
        self.count += 1
        path = os.path.join(self.outdir, "%d.json" % self.count)
        # The .eml first: a reader waits for the .json.
        with open(path[:-5] + ".eml.tmp", "wb") as f:
            f.write(raw)
        os.rename(path[:-5] + ".eml.tmp", path[:-5] + ".eml")
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.rename(path + ".tmp", path)
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=True, auth_data=auth_data)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()

    context = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*args.tls)
    handler = Sink(args.outdir)
    loop = asyncio.get_running_loop()

    def factory():
        return SMTP(handler, hostname="sink.test", authenticator=authenticator,
                    auth_require_tls=context is not None, tls_context=context, loop=loop)

    server = await loop.create_server(factory, host="127.0.0.1", port=0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
