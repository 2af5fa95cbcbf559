#!/usr/bin/env python3
"""Checks that QXServiceLib.xml and QXServiceLib.h describe the same contract.

For every interface that crosses the bus: the same methods in slot order, each
with its in-parameters (names and bus types) in order, and its answer "hr"
followed by its out-parameters; every method served off the bus thread. For
the event interfaces: the same signals with the same arguments. The cache and
the player never appear on the bus.

usage: contract_check.py QXServiceLib.h QXServiceLib.xml
"""
import re
import sys
import xml.etree.ElementTree as ET

BUS_INTERFACES = ["IAudioController", "ISettings", "IPlayList", "ISong", "ID3",
                  "IAudioManager", "ICaptureManager", "IAudioEncoder"]
EVENT_INTERFACES = ["_IAudioControllerEvents", "_IAudioEncoderEvents"]
SERVICE_ONLY = ["ICache", "IAudioPlayer"]

IN_TYPES = {"UINT": "u", "ULONG": "u", "DWORD": "u", "LONG": "i", "LONGLONG": "x", "ULONGLONG": "t",
            "BSTR": "s", "GUID": "s", "EBasicPosition": "u", "EState": "u", "ECommand": "u",
            "EEncoderType": "u", "ISong*": "o", "ICache*": "o", "VARIANT": "ao"}
OUT_TYPES = {"UINT*": "u", "ULONG*": "u", "LONG*": "i", "BYTE*": "y", "BSTR*": "s", "GUID*": "s",
             "ID3**": "o", "ISong**": "o", "IAudioEncoder**": "o", "VARIANT*": ("as", "ao")}
ASYNC = "org.freedesktop.DBus.Method.Async"


def parse_header(path):
    text = open(path, encoding="utf-8").read()
    interfaces = {}
    for m in re.finditer(r"struct (\w+) : (\w+) \{(.*?)\n\};", text, re.S):
        name, base, body = m.groups()
        methods = []
        for mm in re.finditer(r"virtual HRESULT (\w+)\((.*?)\) = 0;", body):
            params = []
            for p in (x.strip() for x in mm.group(2).split(",")):
                if not p:
                    continue
                ctype, pname = p.rsplit(" ", 1)
                while pname.startswith("*"):
                    ctype += "*"
                    pname = pname[1:]
                params.append((ctype.replace(" ", ""), pname))
            methods.append((mm.group(1), params))
        interfaces[name] = (base, methods)
    return interfaces


def xml_interfaces(path):
    root = ET.parse(path).getroot()
    return {i.get("name"): i for i in root.findall("interface")}


def main():
    header = parse_header(sys.argv[1])
    xml = xml_interfaces(sys.argv[2])
    errors = []

    for name in BUS_INTERFACES:
        base, methods = header[name]
        if name == "ICaptureManager":
            if methods or base != "IAudioManager":
                errors.append("ICaptureManager should add nothing to IAudioManager")
            methods = header["IAudioManager"][1]
        node = xml.get("QXServiceLib." + name)
        if node is None:
            errors.append(f"{name}: missing from the XML")
            continue
        xml_methods = node.findall("method")
        names_h = [m[0] for m in methods]
        names_x = [m.get("name") for m in xml_methods]
        if names_h != names_x:
            errors.append(f"{name}: methods differ\n  header: {names_h}\n  xml:    {names_x}")
            continue
        for (mname, params), xm in zip(methods, xml_methods):
            where = f"{name}.{mname}"
            want_in, want_out = [], [("hr", "i")]
            for ctype, pname in params:
                if ctype in OUT_TYPES:
                    want_out.append((pname, OUT_TYPES[ctype]))
                elif ctype in IN_TYPES:
                    want_in.append((pname, IN_TYPES[ctype]))
                else:
                    errors.append(f"{where}: parameter type {ctype} has no bus form")
            got_in = [(a.get("name"), a.get("type")) for a in xm.findall("arg") if a.get("direction") == "in"]
            got_out = [(a.get("name"), a.get("type")) for a in xm.findall("arg") if a.get("direction") == "out"]
            if got_in != want_in:
                errors.append(f"{where}: in-arguments {got_in}, expected {want_in}")
            if len(got_out) != len(want_out) or any(
                    g[0] != w[0] or (g[1] not in w[1] if isinstance(w[1], tuple) else g[1] != w[1])
                    for g, w in zip(got_out, want_out)):
                errors.append(f"{where}: out-arguments {got_out}, expected {want_out}")
            annotations = {a.get("name"): a.get("value") for a in xm.findall("annotation")}
            if annotations.get(ASYNC) != "server":
                errors.append(f"{where}: not served off the bus thread ({ASYNC}=server missing)")

    for name in EVENT_INTERFACES:
        methods = header[name][1]
        node = xml.get("QXServiceLib." + name)
        if node is None:
            errors.append(f"{name}: missing from the XML")
            continue
        signals = node.findall("signal")
        if [m[0] for m in methods] != [s.get("name") for s in signals]:
            errors.append(f"{name}: signals differ")
            continue
        for (mname, params), sig in zip(methods, signals):
            want = [(p, IN_TYPES[t]) for t, p in params]
            got = [(a.get("name"), a.get("type")) for a in sig.findall("arg")]
            if got != want:
                errors.append(f"{name}.{mname}: arguments {got}, expected {want}")

    for name in SERVICE_ONLY:
        if "QXServiceLib." + name in xml:
            errors.append(f"{name} must not cross the bus")
    lifetime = xml.get("QXServiceLib.IUnknown")
    if lifetime is None or [m.get("name") for m in lifetime.findall("method")] != ["QueryInterface", "Release"]:
        errors.append("QXServiceLib.IUnknown must offer QueryInterface and Release")
    expected = {"QXServiceLib." + n for n in BUS_INTERFACES + EVENT_INTERFACES} | {"QXServiceLib.IUnknown"}
    for extra in sorted(set(xml) - expected):
        errors.append(f"{extra}: in the XML but not in the contract")

    if errors:
        print("\n".join(errors))
        return 1
    count = sum(len(xml["QXServiceLib." + n].findall("method")) for n in BUS_INTERFACES)
    print(f"contract matches: {len(BUS_INTERFACES)} interfaces, {count} methods, "
          f"{sum(len(header[n][1]) for n in EVENT_INTERFACES)} signals")
    return 0


if __name__ == "__main__":
    sys.exit(main())
