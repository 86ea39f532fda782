#!/usr/bin/python3
"""An automation client written independently of the program: python-dbus only.

Usage: automation_client.py BUS_ADDRESS COMMAND ARGS...
  introspect NAME PATH             the interfaces of the object, parsed from the introspection XML
  getall NAME PATH INTERFACE       every property with its D-Bus type
  get NAME PATH INTERFACE PROPERTY one property with its D-Bus type
  call NAME PATH INTERFACE METHOD  a method without argument, its result with its type
  set NAME PATH INTERFACE PROPERTY tries to write 1 into the property
  owner-pid NAME                   the process that owns the name (starting it when it has no owner)
  wait-name NAME                   waits (30 s at most) until someone owns the name, without starting it
  activatable                      the names the bus can start from its .service files

Prints one JSON document {"result": ...}. A D-Bus error prints {"error": name, "message": text} and exits with 2.
"""
import json
import sys
import time
import xml.etree.ElementTree as ET

import dbus

TYPE_CODES = {
    dbus.Int32: "i",
    dbus.UInt32: "u",
    dbus.Int16: "n",
    dbus.Int64: "x",
    dbus.Byte: "y",
    dbus.Boolean: "b",
    dbus.Double: "d",
    dbus.String: "s",
}


def typed(value):
    code = TYPE_CODES.get(type(value), type(value).__name__)
    if code == "b":
        plain = bool(value)
    elif code == "d":
        plain = float(value)
    elif code == "s":
        plain = str(value)
    else:
        plain = int(value)
    return [code, plain]


def annotations(element):
    return {a.get("name"): a.get("value") for a in element.findall("annotation")}


def parse_introspection(xml):
    root = ET.fromstring(xml)
    interfaces = []
    for iface in root.findall("interface"):
        members = []
        for child in iface:
            if child.tag == "property":
                members.append({"kind": "property", "name": child.get("name"), "type": child.get("type"),
                                "access": child.get("access"), "annotations": annotations(child)})
            elif child.tag == "method":
                args = [{"name": a.get("name"), "type": a.get("type"), "direction": a.get("direction", "in")}
                        for a in child.findall("arg")]
                members.append({"kind": "method", "name": child.get("name"), "args": args,
                                "annotations": annotations(child)})
        interfaces.append({"name": iface.get("name"), "annotations": annotations(iface), "members": members})
    return {"node": root.get("name"), "interfaces": interfaces}


def main(argv):
    address, command, args = argv[1], argv[2], argv[3:]
    bus = dbus.bus.BusConnection(address)
    if command == "owner-pid":
        bus.activate_name_owner(args[0])
        daemon = dbus.Interface(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus"),
                                "org.freedesktop.DBus")
        return int(daemon.GetConnectionUnixProcessID(args[0]))
    if command == "activatable":
        daemon = dbus.Interface(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus"),
                                "org.freedesktop.DBus")
        return [str(n) for n in daemon.ListActivatableNames()]
    if command == "wait-name":
        for _ in range(300):
            if bus.name_has_owner(args[0]):
                return True
            time.sleep(0.1)
        return False
    name, path = args[0], args[1]
    obj = bus.get_object(name, path, introspect=False)
    if command == "introspect":
        return parse_introspection(obj.Introspect(dbus_interface="org.freedesktop.DBus.Introspectable"))
    properties = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
    if command == "getall":
        return {k: typed(v) for k, v in properties.GetAll(args[2]).items()}
    if command == "get":
        return typed(properties.Get(args[2], args[3]))
    if command == "set":
        properties.Set(args[2], args[3], dbus.Int32(1), signature="ssv")
        return {"written": True}
    if command == "call":
        return typed(obj.get_dbus_method(args[3], args[2])())
    raise SystemExit("unknown command " + command)


if __name__ == "__main__":
    try:
        print(json.dumps({"result": main(sys.argv)}))
    except dbus.exceptions.DBusException as e:
        print(json.dumps({"error": e.get_dbus_name(), "message": e.get_dbus_message()}))
        sys.exit(2)
