#pragma once
// The vendor's release keys and the check of a document against its detached
// signature. A public key is the base64 of X || Y (64 bytes) of a P-256 key;
// a signature the base64 of r || s (64 bytes) over the SHA-256 of the
// document's exact bytes. A DER-encoded signature (what OpenSSL writes) is
// taken too. Any thread.

#include <string>
#include <vector>

namespace rk {

struct ReleaseKeys {
    bool configured = false;          // a key line was present, even if it was unusable
    std::vector<std::string> keys;    // the usable keys, X || Y each
    std::vector<std::wstring> errors; // one line per unusable key
};

// PublicKey and PublicKey2 of [Security] in an INI text (section and key names
// in any letter case, the value trimmed).
ReleaseKeys releaseKeysFromIni(const std::wstring& iniText);

// The process's keys, fixed at start-up from the embedded configuration.
void setReleaseKeys(ReleaseKeys keys);
ReleaseKeys releaseKeys();
// True when a key line was configured: lists must then be signed.
bool signedReleasesRequired();

// X || Y from the base64 text; false when it is not 64 bytes.
bool parsePublicKey(const std::string& text, std::string& key);
// r || s from the base64 of r || s or of a DER signature; false when malformed.
bool parseSignature(const std::string& text, std::string& signature);

enum class SignatureCheck { Good, Missing, Malformed, Wrong };

// signatureText null means there was no signature file.
SignatureCheck checkDocumentSignature(const std::string& document, const std::string* signatureText,
                                      const std::vector<std::string>& keys);

} // namespace rk
