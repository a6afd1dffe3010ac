#!/usr/bin/python3
"""A BitTorrent peer on 127.0.0.1 for the fetch tests and benchmarks.

fetch_seeder.py seed TORRENT DIR [--upload-limit BYTES_PER_S]
    seeds TORRENT from DIR (a torrent without its data still hands out its metadata); prints
    "port N" once it listens and has checked DIR, then runs until stdin closes or it is killed.
fetch_seeder.py download TORRENT DIR --peer HOST:PORT
    downloads TORRENT into DIR from the one peer and prints "seconds S" when every piece is there.
"""
import sys
import time

import libtorrent as lt


def session():
    return lt.session({
        'listen_interfaces': '127.0.0.1:0',
        'enable_dht': False, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
        'alert_mask': lt.alert_category.status | lt.alert_category.error,
    })


def main():
    mode, torrent, directory = sys.argv[1:4]
    rest = sys.argv[4:]
    ses = session()
    params = lt.add_torrent_params()
    params.ti = lt.torrent_info(torrent)
    params.save_path = directory
    handle = ses.add_torrent(params)
    if mode == 'seed':
        if '--upload-limit' in rest:
            handle.set_upload_limit(int(rest[rest.index('--upload-limit') + 1]))
        while handle.status().state in (lt.torrent_status.checking_files, lt.torrent_status.checking_resume_data):
            time.sleep(0.05)
        print('port %d' % ses.listen_port(), flush=True)
        sys.stdin.read()
        return
    host, port = rest[rest.index('--peer') + 1].rsplit(':', 1)
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
