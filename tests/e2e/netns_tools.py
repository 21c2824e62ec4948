"""Small traffic tools run inside a test's network namespaces:

    netns_tools.py sink PORT              receive UDP datagrams on PORT until killed
    netns_tools.py send ADDR PORT N SIZE  send N datagrams of SIZE bytes to ADDR:PORT
    netns_tools.py tunnel TUN ADDR PORT   read packets from tun device TUN and send
                                          each as one UDP datagram to ADDR:PORT (a
                                          VPN's encapsulation, without the crypto)
"""
import fcntl
import os
import socket
import struct
import sys

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000


def sink(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("0.0.0.0", port))
    print("ready", flush=True)
    while True:
        s.recv(65536)


def send(addr, port, count, size):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    payload = b"v" * size
    for _ in range(count):
        s.sendto(payload, (addr, port))


def tunnel(name, addr, port):
    fd = os.open("/dev/net/tun", os.O_RDWR)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    print("ready", flush=True)
    while True:
        out.sendto(os.read(fd, 65536), (addr, port))


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "sink":
        sink(int(args[0]))
    elif command == "send":
        send(args[0], int(args[1]), int(args[2]), int(args[3]))
    elif command == "tunnel":
        tunnel(args[0], args[1], int(args[2]))
    else:
        sys.exit("unknown command " + command)
