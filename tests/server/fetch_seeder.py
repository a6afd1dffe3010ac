#!/usr/bin/python3
"""A BitTorrent peer on 127.0.0.1 for the fetch tests and benchmarks.

fetch_seeder.py seed DIR [--upload-limit BYTES_PER_S] TORRENT...
    seeds each TORRENT from DIR (a torrent without its data still hands out its metadata); prints
    "port N" once it listens and has checked DIR, then runs until stdin closes or it is killed.
fetch_seeder.py download DIR --peer HOST:PORT TORRENT
    downloads TORRENT into DIR from the one peer and prints "seconds S" when every piece is there.
"""
import sys
import time

import libtorrent as lt


def session():
    return lt.session({
        'listen_interfaces': '127.0.0.1:0',
        # A service that was stopped leaves its connection behind for a while; it comes back from
        # the same address.
        'allow_multiple_connections_per_ip': True,
        # As the service's engine: TCP out (uTP yields to every other transfer by design and on
        # loopback runs at a small fraction of TCP's rate).
        'enable_outgoing_utp': False,
        'enable_dht': False, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
        'alert_mask': lt.alert_category.status | lt.alert_category.error,
    })


def option(rest, name):
    if name not in rest:
        return None
    at = rest.index(name)
    value = rest[at + 1]
    del rest[at:at + 2]
    return value


def main():
    mode, directory = sys.argv[1:3]
    rest = sys.argv[3:]
    limit = option(rest, '--upload-limit')
    peer = option(rest, '--peer')
    ses = session()
    handles = []
    for torrent in rest:
        params = lt.add_torrent_params()
        params.ti = lt.torrent_info(torrent)
        params.save_path = directory
        handles.append(ses.add_torrent(params))
    if mode == 'seed':
        for handle in handles:
            if limit:
                handle.set_upload_limit(int(limit))
        checking = (lt.torrent_status.checking_files, lt.torrent_status.checking_resume_data)
        while any(handle.status().state in checking for handle in handles):
            ses.wait_for_alert(50)
            ses.pop_alerts()
        print('port %d' % ses.listen_port(), flush=True)
        sys.stdin.read()
        return
    handle = handles[0]
    host, port = peer.rsplit(':', 1)
    start = time.monotonic()
    handle.connect_peer((host, int(port)))
    while not handle.status().is_seeding:
        ses.wait_for_alert(100)
        ses.pop_alerts()
        if time.monotonic() - start > 600:
            sys.exit('download did not finish')
    print('seconds %.3f' % (time.monotonic() - start), flush=True)


if __name__ == '__main__':
    main()
