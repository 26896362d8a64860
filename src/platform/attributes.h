// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DOS attributes of a file, with the bit values FAT keeps in a directory entry and
// GetFileAttributes reports. They stand alone so that the code that only stores or copies
// attributes (the attribute store, the FAT images) need not know the machine's drives.
#include <QtGlobal>

namespace vt {

enum FileAttr : quint32 {
  AttrReadOnly = 0x01,
  AttrHidden = 0x02,
  AttrSystem = 0x04,
  AttrVolume = 0x08,
  AttrDirectory = 0x10,
  AttrArchive = 0x20,
  // The four bits a DOS program can set with ATTRIB.
  AttrSettable = AttrReadOnly | AttrHidden | AttrSystem | AttrArchive,
  AttrAnyFile = 0x3F,
};
constexpr quint32 kInvalidAttributes = 0xFFFFFFFF;

}  // namespace vt
