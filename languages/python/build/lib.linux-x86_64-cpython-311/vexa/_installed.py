# Written when the package was built: where pkg-config found libvexaxd_p.
LIBRARY_DIR = '/tmp/tmp.LzOeALRprF/prefix/lib/pkgconfig/../../lib'
