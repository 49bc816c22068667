#pragma once
// The list loader: turns an update list document (remote or local renewkit.xml)
// into entries of a DownLoadList, walking every element in document order.
// Runs on the calling thread, which must have initialised COM.

#include "list/update_list.h"
#include "list/xml_reader.h"

#include <cstdint>
#include <string>

namespace rk {

inline const wchar_t kDefaultFileUrlTemplate[] = L"{listurl-base}/{filename}";

// True when the document had an "update", "updates" or "renewkit" root and was
// walked. A missing or malformed file gives false silently; an error of the XML
// reader gives false and the message "The xml file format error!" (entries
// added before it stay). The remote flag decides whether guid and fileurl are
// taken. The first guid element is removed from the file afterwards.
bool loadList(const std::wstring& path, DownLoadList& list, bool remote);

// The same walk over a document already in memory, as a remote list, without
// saving anything back. False when it has no list root or the reader failed
// (logged; entries before the failure stay).
bool loadListDocument(const XmlDocument& document, DownLoadList& list);

// The message shown when the reader fails: translated text, CR LF, then ListURL
// for the remote list or the path for the local one.
std::wstring listFormatErrorText(const std::wstring& path, bool remote);

// Action text to action word: the leading decimal number, then the bits of the
// keywords "run"/"exe", "del", "reg" and "boot" found anywhere (any case).
std::int32_t actionWord(const std::wstring& text);

// path "9" param "9" wait "9" key.
std::wstring packRunCommand(const std::wstring& path, const std::wstring& param, const std::wstring& wait,
                            const std::wstring& key);

// The last piece of the URL after slashes are unified, or the piece before an
// empty last one ("dir/" gives "dir").
std::wstring pathFromUrl(const std::wstring& url);

} // namespace rk
