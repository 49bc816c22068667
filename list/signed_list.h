#pragma once
// The rules for signed lists: the signature over the exact published bytes,
// the serial that may only grow (no rollback) and the expiry (no freeze), the
// highest serial installed kept beside the local list, and the signed bytes a
// run accepted, kept for the copy that installs them. Any thread.

#include "core/release_signature.h"

#include <cstdint>
#include <string>

namespace rk {

// Root element attributes of a list document, read from its bytes.
struct ListPolicy {
    bool hasSerial = false;
    long long serial = 0; // positive when hasSerial
    bool hasExpires = false;
    long long expires = 0; // seconds since 1970-01-01 UTC
    std::wstring error;    // a serial or expires that is present but malformed
};
ListPolicy readListPolicy(const std::string& bytes);

// The text of a list document: UTF-16 by its byte order mark, else UTF-8.
std::wstring listDocumentText(const std::string& bytes);

// "2027-01-31", "2027-01-31T12:00Z", "2027-01-31T12:00:00Z", also with
// fractions of a second or "+00:00": seconds since 1970 UTC. False otherwise.
bool parseUtcTime(const std::wstring& text, long long& seconds);
std::wstring formatUtcTime(long long seconds); // "2027-01-31T12:00:00Z"

// The document address with ".sig" added to its path (before any query).
std::wstring signatureUrl(const std::wstring& url);

enum class ListRole {
    UpdateList, // the list or a sub-list: serial and expires are required
    MasterList  // published beside the list: serial and expires checked when present
};

struct ListCheck {
    bool accepted = false;
    long long serial = 0; // of an accepted list; 0 when it carries none
    std::wstring logLine; // why it was refused, or what was accepted
};

// The whole decision for one fetched document. signatureText null: no
// signature file could be fetched. nowUtc in seconds since 1970.
ListCheck checkSignedList(const std::string& bytes, const std::string* signatureText, const ReleaseKeys& keys,
                          long long installedSerial, long long nowUtc, ListRole role, const std::wstring& name);

// The highest serial installed: renewkit.xml.serial in the application
// directory, 0 when there is none. record keeps the larger of the two.
std::wstring installedSerialPath();
long long installedSerial();
bool recordInstalledSerial(long long serial);

// The signed documents the check of this run accepted, for the copy that
// installs them (an elevated copy gets them in a file of their own).
struct SignedDocuments {
    std::string list;
    std::string listSignature;
    std::string master; // empty with masterSignature when the list came without one
    std::string masterSignature;
    long long serial = 0;
};
void setAcceptedDocuments(SignedDocuments documents);
SignedDocuments acceptedDocuments();
void clearAcceptedDocuments();

std::string writeSignedDocuments(const SignedDocuments& documents);
// Bounds-checked; false for anything not written by writeSignedDocuments.
bool readSignedDocuments(const std::string& bytes, SignedDocuments& documents);

} // namespace rk
