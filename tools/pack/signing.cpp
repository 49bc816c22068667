#include "tools/pack/signing.h"

#include "core/base64.h"
#include "platform/ecdsa.h"
#include "platform/file_security.h"
#include "platform/files.h"

namespace rk::pack {
namespace {

const char kPrivateKeyLabel[] = "renewkit-p256-private-key ";

void wipe(std::string& secret)
{
    volatile char* p = secret.data();
    for (size_t i = 0; i < secret.size(); ++i)
        p[i] = 0;
    secret.clear();
}

} // namespace

std::string privateKeyText(const SigningKey& key)
{
    return kPrivateKeyLabel + base64Encode(key.privateKey + key.publicKey) + "\n";
}

bool parsePrivateKeyText(const std::string& text, SigningKey& key)
{
    const std::string label = kPrivateKeyLabel;
    if (text.compare(0, label.size(), label) != 0)
        return false;
    std::string bytes;
    if (!base64Decode(std::string_view(text).substr(label.size()), bytes) ||
        bytes.size() != kP256PrivateKeyBytes + kP256PublicKeyBytes)
        return false;
    SigningKey read;
    read.privateKey = bytes.substr(0, kP256PrivateKeyBytes);
    read.publicKey = bytes.substr(kP256PrivateKeyBytes);
    wipe(bytes);
    // A key whose halves do not belong together would sign what nobody can verify.
    const std::string probe = sha256Of("renewkit key check");
    if (!verifyP256(read.publicKey, probe, signP256({read.publicKey, read.privateKey}, probe)))
        return false;
    key = std::move(read);
    return true;
}

std::wstring generateKeyFiles(const std::wstring& prefix, std::wstring& publicLine)
{
    P256KeyPair pair;
    if (!generateP256KeyPair(pair))
        return L"the system could not make a P-256 key";
    const std::wstring keyPath = prefix + L".key";
    const std::wstring publicPath = prefix + L".pub";
    if (fileExists(keyPath))
        return L"the key file exists already; it is not overwritten: " + keyPath;
    // The file has its rights from the moment it exists: the secret is never
    // in a file anyone else may read.
    std::string text = privateKeyText({pair.publicKey, pair.privateKey});
    const bool written = writePrivateFile(keyPath, text);
    wipe(text);
    wipe(pair.privateKey);
    if (!written)
        return L"cannot write a key file only the current user may read: " + keyPath;
    const std::string line = "PublicKey=" + base64Encode(pair.publicKey);
    if (!writeFileBytes(publicPath, "[Security]\r\n" + line + "\r\n"))
        return L"cannot write file: " + publicPath;
    publicLine.assign(line.begin(), line.end());
    return std::wstring();
}

std::wstring loadSigningKey(const std::wstring& path, SigningKey& key)
{
    std::string text;
    if (!readFileBytesLimited(path, text, 4096))
        return L"cannot read the key file: " + path;
    std::wstring who;
    if (readableByOthers(path, who)) {
        wipe(text);
        return L"the key file may be read by other users (" + who +
               L"); a signing key must be readable by its owner only, or anyone who can read it can publish "
               L"releases: " +
               path;
    }
    if (!who.empty()) {
        wipe(text);
        return L"cannot check who may read the key file (" + who + L"): " + path;
    }
    const bool parsed = parsePrivateKeyText(text, key);
    wipe(text);
    if (!parsed)
        return L"the key file holds no renewkit-pack P-256 key: " + path;
    return std::wstring();
}

std::string signatureFileText(const SigningKey& key, const std::string& document)
{
    const std::string signature = signP256({key.publicKey, key.privateKey}, sha256Of(document));
    if (signature.empty())
        return std::string();
    return base64Encode(signature) + "\n";
}

} // namespace rk::pack
