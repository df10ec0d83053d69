#!/usr/bin/env python3
"""Write a .reg file that adds a certificate to the machine's Root store of a Wine prefix.

The value is the serialized form the system's certificate store keeps in the registry: a
property element for the SHA-1 thumbprint (id 3) and one for the DER certificate (id 32),
each as (id, 1, length) little-endian 32-bit words followed by the bytes.
Usage: wine_trust_ca.py ca.der out.reg
"""
import hashlib
import struct
import sys


def element(prop_id, data):
    return struct.pack("<III", prop_id, 1, len(data)) + data


def main():
    der = open(sys.argv[1], "rb").read()
    thumb = hashlib.sha1(der).digest()
    blob = element(3, thumb) + element(32, der)
    key = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + thumb.hex().upper()
    hexes = ",".join("%02x" % b for b in blob)
    with open(sys.argv[2], "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\"Blob\"=hex:%s\r\n" % (key, hexes))
    return 0


if __name__ == "__main__":
    sys.exit(main())
