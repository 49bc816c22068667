#include "platform/ecdsa.h"

#include "platform/hash.h"
#include "platform/unique_any.h"

#include <windows.h>

#include <bcrypt.h>

namespace rk {
namespace {

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct KeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::BCryptDestroyKey(h); }
};
using UniqueAlgorithm = UniqueAny<AlgorithmTraits>;
using UniqueKey = UniqueAny<KeyTraits>;

UniqueAlgorithm openEcdsa()
{
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (::BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
        return UniqueAlgorithm();
    return UniqueAlgorithm(alg);
}

// A CNG key blob: the header, then the numbers in the order the blob type wants.
std::string keyBlob(ULONG magic, const std::string& numbers)
{
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = magic;
    header.cbKey = 32;
    std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
    return blob + numbers;
}

UniqueKey importKey(BCRYPT_ALG_HANDLE alg, const wchar_t* type, const std::string& blob)
{
    BCRYPT_KEY_HANDLE key = nullptr;
    if (::BCryptImportKeyPair(alg, nullptr, type, &key, reinterpret_cast<PUCHAR>(const_cast<char*>(blob.data())),
                              static_cast<ULONG>(blob.size()), 0) < 0)
        return UniqueKey();
    return UniqueKey(key);
}

} // namespace

bool generateP256KeyPair(P256KeyPair& out)
{
    UniqueAlgorithm alg = openEcdsa();
    if (!alg)
        return false;
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (::BCryptGenerateKeyPair(alg.get(), &raw, 256, 0) < 0)
        return false;
    UniqueKey key(raw);
    if (::BCryptFinalizeKeyPair(key.get(), 0) < 0)
        return false;
    ULONG size = 0;
    if (::BCryptExportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, nullptr, 0, &size, 0) < 0)
        return false;
    std::string blob(size, '\0');
    if (::BCryptExportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, reinterpret_cast<PUCHAR>(blob.data()), size,
                          &size, 0) < 0)
        return false;
    constexpr size_t header = sizeof(BCRYPT_ECCKEY_BLOB);
    if (size != header + kP256PublicKeyBytes + kP256PrivateKeyBytes)
        return false;
    out.publicKey = blob.substr(header, kP256PublicKeyBytes);
    out.privateKey = blob.substr(header + kP256PublicKeyBytes, kP256PrivateKeyBytes);
    SecureZeroMemory(blob.data(), blob.size());
    return true;
}

std::string signP256(const P256KeyPair& key, const std::string& digest)
{
    if (key.publicKey.size() != kP256PublicKeyBytes || key.privateKey.size() != kP256PrivateKeyBytes || digest.empty())
        return {};
    UniqueAlgorithm alg = openEcdsa();
    if (!alg)
        return {};
    std::string blob = keyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, key.publicKey + key.privateKey);
    UniqueKey handle = importKey(alg.get(), BCRYPT_ECCPRIVATE_BLOB, blob);
    SecureZeroMemory(blob.data(), blob.size());
    if (!handle)
        return {};
    // The size query reports 32 under some systems; the signature is always r and s.
    std::string signature(kP256SignatureBytes, '\0');
    ULONG written = 0;
    if (::BCryptSignHash(handle.get(), nullptr, reinterpret_cast<PUCHAR>(const_cast<char*>(digest.data())),
                         static_cast<ULONG>(digest.size()), reinterpret_cast<PUCHAR>(signature.data()),
                         static_cast<ULONG>(signature.size()), &written, 0) < 0 ||
        written != kP256SignatureBytes)
        return {};
    return signature;
}

bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature)
{
    if (publicKey.size() != kP256PublicKeyBytes || signature.size() != kP256SignatureBytes || digest.size() != 32)
        return false;
    UniqueAlgorithm alg = openEcdsa();
    if (!alg)
        return false;
    UniqueKey key = importKey(alg.get(), BCRYPT_ECCPUBLIC_BLOB, keyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, publicKey));
    if (!key)
        return false;
    return ::BCryptVerifySignature(key.get(), nullptr, reinterpret_cast<PUCHAR>(const_cast<char*>(digest.data())),
                                   static_cast<ULONG>(digest.size()),
                                   reinterpret_cast<PUCHAR>(const_cast<char*>(signature.data())),
                                   static_cast<ULONG>(signature.size()), 0) == 0;
}

std::string sha256Of(const std::string& bytes)
{
    Hasher hasher(HashAlgorithm::Sha256);
    hasher.update(bytes.data(), bytes.size());
    return hasher.finish();
}

} // namespace rk
