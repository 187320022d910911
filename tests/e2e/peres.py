"""A small reader of the resources of a Windows executable (PE32 and PE32+),
enough to check what the build put into Veldrun.exe: the resource tree,
version information blocks, icon groups, bitmaps and dialog templates.

    pe = PeResources(open(path, "rb").read())
    pe.machine                       # 0x14c (i386) or 0x8664 (x86-64)
    pe.find(type_id, name_id)        # {language: bytes}
    pe.imports(), pe.load_config()   # imported DLLs; DependentLoadFlags
"""

import struct

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24


class PeError(Exception):
    pass


class PeResources:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        opt_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + {0x10B: 96, 0x20B: 112}.get(magic, -1)
        if dirs < opt:
            raise PeError("unknown optional header 0x%x" % magic)
        self.rsrc_rva, self.rsrc_size = struct.unpack_from("<II", data, dirs + 2 * 8)
        self.pe32plus = magic == 0x20B
        self.dirs = dirs
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))
        self.tree = self._directory(0) if self.rsrc_rva else {}

    def _offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError("rva 0x%x outside the sections" % rva)

    def _directory(self, rel):
        base = self._offset(self.rsrc_rva)
        named, ids = struct.unpack_from("<HH", self.data, base + rel + 12)
        out = {}
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, base + rel + 16 + 8 * i)
            if name & 0x80000000:
                n = struct.unpack_from("<H", self.data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                key = self.data[start:start + 2 * n].decode("utf-16-le")
            else:
                key = name
            if target & 0x80000000:
                out[key] = self._directory(target & 0x7FFFFFFF)
            else:
                rva, size = struct.unpack_from("<II", self.data, base + target)
                off = self._offset(rva)
                out[key] = self.data[off:off + size]
        return out

    def directory(self, index):
        """(rva, size) of data directory entry `index`."""
        return struct.unpack_from("<II", self.data, self.dirs + 8 * index)

    def imports(self):
        """The names of the DLLs the import directory names, in its order."""
        rva, _ = self.directory(1)
        names, at = [], self._offset(rva) if rva else None
        while at is not None:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if not name_rva:
                break
            start = self._offset(name_rva)
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii"))
            at += 20
        return names

    def load_config(self):
        """(directory size, the structure's Size field, DependentLoadFlags),
        or None without a load configuration."""
        rva, size = self.directory(10)
        if not rva:
            return None
        at = self._offset(rva)
        flags_at = 78 if self.pe32plus else 54
        return size, struct.unpack_from("<I", self.data, at)[0], struct.unpack_from("<H", self.data, at + flags_at)[0]

    def find(self, type_id, name_id):
        """{language: data} of one resource; empty when it is missing."""
        return dict(self.tree.get(type_id, {}).get(name_id, {}))

    def one(self, type_id, name_id):
        """The data of a resource present in exactly one language."""
        langs = self.find(type_id, name_id)
        if len(langs) != 1:
            raise PeError("resource %r/%r in %d languages" % (type_id, name_id, len(langs)))
        return next(iter(langs.values()))

    def names(self, type_id):
        return sorted(self.tree.get(type_id, {}).keys(), key=str)


# ------------------------------------------------------------------ formats

def dib_header(blob):
    """(width, height, bits per pixel, compression) of a DIB."""
    size, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", blob, 0)
    return w, h, bpp, comp


def icon_group(blob):
    """Entries of a group icon: dicts of width, height, colors, planes,
    bits, size, id."""
    reserved, kind, count = struct.unpack_from("<HHH", blob, 0)
    entries = []
    for i in range(count):
        w, h, colors, _, planes, bits, size, nid = struct.unpack_from("<BBBBHHIH", blob, 6 + 14 * i)
        entries.append(dict(width=w or 256, height=h or 256, colors=colors, planes=planes, bits=bits,
                            size=size, id=nid))
    return entries


def _align4(n):
    return (n + 3) & ~3


def _version_node(blob, pos):
    length, vlen, vtype = struct.unpack_from("<HHH", blob, pos)
    end = pos + length
    p = pos + 6
    key_end = p
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[p:key_end].decode("utf-16-le")
    p = _align4(key_end + 2)
    if vtype == 1:
        raw = blob[p:p + 2 * vlen]
        value = raw.decode("utf-16-le").split("\0")[0]
        p += 2 * vlen
    else:
        value = blob[p:p + vlen]
        p += vlen
    p = _align4(p)
    children = []
    while p < end:
        child, p = _version_node(blob, p)
        children.append(child)
    return (key, value, children), _align4(end)


def version_info(blob):
    """{"fixed": (file version tuple, product version tuple),
    "strings": {block name: {key: value}}, "translations": [(lang, codepage)]}."""
    (key, fixed, children), _ = _version_node(blob, 0)
    if key != "VS_VERSION_INFO":
        raise PeError("not a version resource")
    sig, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", fixed, 0)
    if sig != 0xFEEF04BD:
        raise PeError("no fixed file info")
    ver = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    out = {"fixed": (ver(fms, fls), ver(pms, pls)), "strings": {}, "translations": []}
    for ckey, _, kids in children:
        if ckey == "StringFileInfo":
            for table, _, entries in kids:
                out["strings"][table.upper()] = {k: v for k, v, _ in entries}
        elif ckey == "VarFileInfo":
            for _, value, _ in kids:
                for i in range(0, len(value) - 3, 4):
                    out["translations"].append(struct.unpack_from("<HH", value, i))
    return out


def dib_pixels(blob):
    """(width, height, pixel function (x, y) -> (r, g, b)) of an
    uncompressed 24-bit DIB, x and y from the top-left corner."""
    size, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", blob, 0)
    if bpp != 24 or comp != 0:
        raise PeError("not an uncompressed 24-bit DIB")
    stride = (w * 3 + 3) & ~3
    bottom_up = h > 0
    h = abs(h)

    def at(x, y):
        row = (h - 1 - y) if bottom_up else y
        i = size + row * stride + 3 * x
        return blob[i + 2], blob[i + 1], blob[i]
    return w, h, at


def rename_resource(data, type_id, old_id, new_id):
    """A copy of the executable `data` in which resource `old_id` of type
    `type_id` answers to `new_id` instead, so that loading `old_id` fails.
    The directory stays sorted only if no other id lies between the two."""
    pe = PeResources(data)
    base = pe._offset(pe.rsrc_rva)

    def entries(rel):
        named, ids = struct.unpack_from("<HH", data, base + rel + 12)
        for i in range(named + ids):
            pos = base + rel + 16 + 8 * i
            yield pos, struct.unpack_from("<II", data, pos)

    out = bytearray(data)
    for _, (name, target) in entries(0):
        if name == type_id and target & 0x80000000:
            for pos, (nid, _) in entries(target & 0x7FFFFFFF):
                if nid == old_id:
                    struct.pack_into("<I", out, pos, new_id)
                    return bytes(out)
    raise PeError("resource %r/%r not found" % (type_id, old_id))
