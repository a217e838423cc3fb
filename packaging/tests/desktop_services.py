# The desktop's own thumbnail services asked for thumbnails of drawings, as
# file managers ask them, and the thumbnails they cached checked. Run with
# the system's python3 (PyGObject).
#
#   desktop_services.py tumbler DRAWING...   ask tumbler over the session bus
#   desktop_services.py gnome DRAWING...     ask GNOME's thumbnail factory
#   desktop_services.py cached SIZE DRAWING...
#                                            check each cached thumbnail
#   desktop_services.py icon MIME-TYPE       the icon names of a type
#
# Prints one line per drawing ("ok ..." or "FAILED ..."); exits 1 when one
# failed.
import hashlib
import sys

import gi
from gi.repository import Gio, GLib

TIMEOUT_SECONDS = 300


def uri_of(path):
    return Gio.File.new_for_path(path).get_uri()


def mime_of(path):
    info = Gio.File.new_for_path(path).query_info('standard::content-type', Gio.FileQueryInfoFlags.NONE, None)
    return info.get_content_type()


def ask_tumbler(paths):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    proxy = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.NONE, None, 'org.freedesktop.thumbnails.Thumbnailer1',
                                   '/org/freedesktop/thumbnails/Thumbnailer1',
                                   'org.freedesktop.thumbnails.Thumbnailer1', None)
    loop = GLib.MainLoop()
    state = {'handle': None, 'ready': set(), 'errors': {}, 'finished': False}

    def on_signal(_proxy, _sender, name, parameters):
        args = parameters.unpack()
        if args[0] != state['handle']:
            return
        if name == 'Ready':
            state['ready'].update(args[1])
        elif name == 'Error':
            for uri in args[1]:
                state['errors'][uri] = '%d %s' % (args[2], args[3])
        elif name == 'Finished':
            state['finished'] = True
            loop.quit()

    proxy.connect('g-signal', on_signal)
    uris = [uri_of(p) for p in paths]
    mimes = [mime_of(p) for p in paths]
    # Queue(uris, mime_types, flavor, scheduler, handle_to_dequeue)
    state['handle'] = proxy.call_sync('Queue', GLib.Variant('(asasssu)', (uris, mimes, 'normal', 'default', 0)),
                                      Gio.DBusCallFlags.NONE, 60000, None).unpack()[0]
    GLib.timeout_add_seconds(TIMEOUT_SECONDS, loop.quit)
    loop.run()
    failed = 0
    if not state['finished']:
        print('FAILED  tumbler did not finish within %d seconds' % TIMEOUT_SECONDS)
        failed += 1
    for path, uri, mime in zip(paths, uris, mimes):
        if uri in state['ready']:
            print('ok      tumbler made a thumbnail of %s (%s)' % (path, mime))
        else:
            print('FAILED  tumbler: %s (%s): %s' % (path, mime, state['errors'].get(uri, 'neither ready nor an error')))
            failed += 1
    return failed


def ask_gnome(paths):
    gi.require_version('GnomeDesktop', '3.0')
    from gi.repository import GnomeDesktop
    factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
    failed = 0
    for path in paths:
        uri, mime = uri_of(path), mime_of(path)
        info = Gio.File.new_for_path(path).query_info('time::modified', Gio.FileQueryInfoFlags.NONE, None)
        mtime = info.get_attribute_uint64('time::modified')
        if not factory.can_thumbnail(uri, mime, mtime):
            print('FAILED  GNOME: %s (%s): no thumbnailer for it' % (path, mime))
            failed += 1
            continue
        try:
            picture = factory.generate_thumbnail(uri, mime, None)
            factory.save_thumbnail(picture, uri, mtime, None)
            print('ok      GNOME made a thumbnail of %s (%s)' % (path, mime))
        except GLib.Error as e:
            print('FAILED  GNOME: %s (%s): %s' % (path, mime, e.message))
            failed += 1
    return failed


def check_cached(size, paths):
    """Each drawing's thumbnail in $XDG_CACHE_HOME/thumbnails/normal: a PNG
    whose longer side is SIZE and on which the drawing shows (a good many
    pixels differ from the corner's, the background)."""
    gi.require_version('GdkPixbuf', '2.0')
    from gi.repository import GdkPixbuf
    cache = GLib.get_user_cache_dir()
    failed = 0
    for path in paths:
        name = hashlib.md5(uri_of(path).encode()).hexdigest() + '.png'
        png = '%s/thumbnails/normal/%s' % (cache, name)
        try:
            picture = GdkPixbuf.Pixbuf.new_from_file(png)
        except GLib.Error as e:
            print('FAILED  %s: no thumbnail cached (%s)' % (path, e.message))
            failed += 1
            continue
        width, height = picture.get_width(), picture.get_height()
        channels, stride = picture.get_n_channels(), picture.get_rowstride()
        pixels = picture.get_pixels()
        corner = pixels[0:3]
        drawn = sum(1 for y in range(height) for x in range(width)
                    if pixels[y * stride + x * channels:y * stride + x * channels + 3] != corner)
        ok = max(width, height) == size and drawn >= 40
        print('%s%s: %dx%d, %d pixels drawn' % ('ok      ' if ok else 'FAILED  ', path, width, height, drawn))
        failed += not ok
    return failed


def main():
    mode, args = sys.argv[1], sys.argv[2:]
    if mode == 'tumbler':
        failed = ask_tumbler(args)
    elif mode == 'gnome':
        failed = ask_gnome(args)
    elif mode == 'cached':
        failed = check_cached(int(args[0]), args[1:])
    elif mode == 'icon':
        print(' '.join(Gio.content_type_get_icon(args[0]).get_names()))
        failed = 0
    else:
        sys.exit('unknown mode ' + mode)
    sys.exit(1 if failed else 0)


main()
