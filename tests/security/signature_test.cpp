// The signed-list rules: keys and signatures in their published forms, the
// system's ECDSA, the serial and expiry of a list, and the signed documents
// handed to an elevated copy.
#include "core/base64.h"
#include "core/release_signature.h"
#include "list/signed_list.h"
#include "platform/ecdsa.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

P256KeyPair newKey()
{
    P256KeyPair key;
    EXPECT_TRUE(generateP256KeyPair(key));
    return key;
}

std::string signatureText(const P256KeyPair& key, const std::string& document)
{
    return base64Encode(signP256(key, sha256Of(document))) + "\n";
}

ReleaseKeys keysOf(std::initializer_list<const P256KeyPair*> pairs)
{
    ReleaseKeys keys;
    keys.configured = true;
    for (const P256KeyPair* pair : pairs)
        keys.keys.push_back(pair->publicKey);
    return keys;
}

// 2030-01-01T00:00:00Z and a day in seconds.
constexpr long long k2030 = 1893456000;
constexpr long long kDay = 86400;

std::string signedList(long long serial, const std::string& expires)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update serial=\"" + std::to_string(serial) +
           "\" expires=\"" + expires + "\">\r\n  <file path=\"a.txt\" ver=\"1\"/>\r\n</update>\r\n";
}

// r || s as a DER SEQUENCE of two INTEGERs, as OpenSSL writes it.
std::string toDer(const std::string& raw)
{
    auto integer = [](std::string n) {
        while (n.size() > 1 && n[0] == 0 && !(static_cast<unsigned char>(n[1]) & 0x80))
            n.erase(0, 1);
        if (static_cast<unsigned char>(n[0]) & 0x80)
            n.insert(0, 1, '\0');
        return std::string("\x02", 1) + static_cast<char>(n.size()) + n;
    };
    const std::string body = integer(raw.substr(0, 32)) + integer(raw.substr(32));
    return std::string("\x30", 1) + static_cast<char>(body.size()) + body;
}

} // namespace

TEST(Base64, RoundTripsAndRefusesEveryOtherSpelling)
{
    for (const std::string& bytes : {std::string(), std::string("f"), std::string("fo"), std::string("foo"),
                                     std::string("\x00\xFF\x80 binary", 10)}) {
        std::string back;
        ASSERT_TRUE(base64Decode(base64Encode(bytes), back));
        EXPECT_EQ(back, bytes);
    }
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    std::string out = "untouched";
    EXPECT_TRUE(base64Decode("  Zm9vYg==\r\n", out));
    EXPECT_EQ(out, "foob");
    out = "untouched";
    for (const char* bad : {"Zm9vYg=", "Zm9v Yg==", "Zm9vYg=a", "Zm=vYg==", "Zm9vYh==", "Zm9v!g==", "===="})
        EXPECT_FALSE(base64Decode(bad, out)) << bad;
    EXPECT_EQ(out, "untouched");
}

TEST(Ecdsa, SignsAndVerifiesOnlyTheSameDigestUnderTheSameKey)
{
    const P256KeyPair key = newKey();
    const P256KeyPair other = newKey();
    ASSERT_EQ(key.publicKey.size(), 64u);
    ASSERT_EQ(key.privateKey.size(), 32u);
    const std::string digest = sha256Of("the list");
    const std::string signature = signP256(key, digest);
    ASSERT_EQ(signature.size(), 64u);
    EXPECT_TRUE(verifyP256(key.publicKey, digest, signature));
    EXPECT_FALSE(verifyP256(other.publicKey, digest, signature));
    EXPECT_FALSE(verifyP256(key.publicKey, sha256Of("the list "), signature));
    std::string flipped = signature;
    flipped[40] ^= 1;
    EXPECT_FALSE(verifyP256(key.publicKey, digest, flipped));
    EXPECT_FALSE(verifyP256(key.publicKey, digest, signature.substr(0, 63)));
    EXPECT_FALSE(verifyP256(std::string(64, '\0'), digest, signature));
    EXPECT_TRUE(signP256({key.publicKey, key.privateKey.substr(1)}, digest).empty());
    // The digest of "abc" from the standard's test vectors.
    EXPECT_EQ(base64Encode(sha256Of("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
}

TEST(ReleaseKeys, BothKeysOfTheSecuritySectionAndUnusableOnesStillRequireSignatures)
{
    const P256KeyPair a = newKey();
    const P256KeyPair b = newKey();
    const std::string kaText = base64Encode(a.publicKey);
    const std::string kbText = base64Encode(b.publicKey);
    const std::wstring ka(kaText.begin(), kaText.end());
    const std::wstring kb(kbText.begin(), kbText.end());

    ReleaseKeys none = releaseKeysFromIni(L"[UPDATEINFO]\r\nPublicKey=" + ka + L"\r\n[Other]\r\nPublicKey2=" + kb);
    EXPECT_FALSE(none.configured) << "keys outside [Security] count for nothing";

    // PublicKey2 coming first must not be read as PublicKey, and case does not matter.
    ReleaseKeys both = releaseKeysFromIni(L"[security]\r\npublickey2 = " + kb + L"\r\nPUBLICKEY=" + ka + L"  \r\n");
    ASSERT_TRUE(both.configured);
    ASSERT_EQ(both.keys.size(), 2u);
    EXPECT_EQ(both.keys[0], a.publicKey);
    EXPECT_EQ(both.keys[1], b.publicKey);
    EXPECT_TRUE(both.errors.empty());

    ReleaseKeys broken = releaseKeysFromIni(L"[Security]\r\nPublicKey=not a key\r\nPublicKey2=" + kb + L"\r\n");
    EXPECT_TRUE(broken.configured);
    EXPECT_EQ(broken.keys.size(), 1u);
    ASSERT_EQ(broken.errors.size(), 1u);
    EXPECT_NE(broken.errors[0].find(L"PublicKey "), std::wstring::npos);

    ReleaseKeys onlyBroken = releaseKeysFromIni(L"[Security]\r\nPublicKey=QUJD\r\n");
    EXPECT_TRUE(onlyBroken.configured) << "a key that does not parse must not turn the check off";
    EXPECT_TRUE(onlyBroken.keys.empty());
}

TEST(SignatureCheck, RawAndDerSignaturesOfEitherKeyVerifyAnythingElseIsRefused)
{
    const P256KeyPair a = newKey();
    const P256KeyPair b = newKey();
    const P256KeyPair stranger = newKey();
    const std::string document = signedList(3, "2030-01-01T00:00:00Z");
    const std::vector<std::string> keys{a.publicKey, b.publicKey};

    const std::string raw = signP256(b, sha256Of(document));
    const std::string rawText = base64Encode(raw);
    const std::string derText = base64Encode(toDer(raw));
    EXPECT_EQ(checkDocumentSignature(document, &rawText, keys), SignatureCheck::Good);
    EXPECT_EQ(checkDocumentSignature(document, &derText, keys), SignatureCheck::Good);
    std::string parsed;
    ASSERT_TRUE(parseSignature(derText, parsed));
    EXPECT_EQ(parsed, raw);

    const std::string strangers = signatureText(stranger, document);
    EXPECT_EQ(checkDocumentSignature(document, &strangers, keys), SignatureCheck::Wrong);
    std::string changed = document;
    changed[changed.size() / 2] ^= 0x20;
    EXPECT_EQ(checkDocumentSignature(changed, &rawText, keys), SignatureCheck::Wrong);
    EXPECT_EQ(checkDocumentSignature(document, nullptr, keys), SignatureCheck::Missing);
    EXPECT_EQ(checkDocumentSignature(document, &rawText, {}), SignatureCheck::Wrong);
    for (const std::string& bad : {std::string(""), std::string("not base64!"), base64Encode(raw.substr(0, 63)),
                                   base64Encode(toDer(raw) + "x"), base64Encode(std::string(70, '\x30'))})
        EXPECT_EQ(checkDocumentSignature(document, &bad, keys), SignatureCheck::Malformed) << bad;
}

TEST(ListPolicy, SerialAndExpiresAreReadFromTheRootWhateverComesBeforeIt)
{
    ListPolicy plain = readListPolicy(signedList(12, "2030-01-01T00:00:00Z"));
    EXPECT_TRUE(plain.hasSerial);
    EXPECT_EQ(plain.serial, 12);
    EXPECT_TRUE(plain.hasExpires);
    EXPECT_EQ(plain.expires, k2030);
    EXPECT_TRUE(plain.error.empty());

    const std::string prolog = "\xEF\xBB\xBF<?xml version='1.0'?><!-- serial=\"99\" --><!DOCTYPE update [<!ELEMENT "
                               "update ANY>]>\n<update\n  guid='x' expires = '2030-01-02' serial='7'><file "
                               "serial=\"1\"/></update>";
    ListPolicy quoted = readListPolicy(prolog);
    EXPECT_EQ(quoted.serial, 7);
    EXPECT_EQ(quoted.expires, k2030 + kDay);

    // The same document as UTF-16 with its byte order mark.
    const std::string narrowText = "<update serial=\"5\"/>";
    std::string utf16("\xFF\xFE", 2);
    for (char c : narrowText)
        utf16 += std::string{c, '\0'};
    EXPECT_EQ(readListPolicy(utf16).serial, 5);

    ListPolicy none = readListPolicy("<update><file path=\"a\" serial=\"3\"/></update>");
    EXPECT_FALSE(none.hasSerial);
    EXPECT_FALSE(none.hasExpires);
    EXPECT_TRUE(none.error.empty());

    for (const char* bad : {"<update serial=\"0\"/>", "<update serial=\"-3\"/>", "<update serial=\"3a\"/>",
                            "<update serial=\"9999999999999999999\"/>", "<update expires=\"tomorrow\"/>",
                            "<update expires=\"2030-01-01T00:00:00+02:00\"/>"})
        EXPECT_FALSE(readListPolicy(bad).error.empty()) << bad;
}

TEST(ListPolicy, UtcTimesParseStrictlyAndFormatBack)
{
    long long t = 0;
    ASSERT_TRUE(parseUtcTime(L"2030-01-01T00:00:00Z", t));
    EXPECT_EQ(t, k2030);
    ASSERT_TRUE(parseUtcTime(L"2028-02-29T23:59:59.5Z", t));
    EXPECT_EQ(formatUtcTime(t), L"2028-02-29T23:59:59Z");
    ASSERT_TRUE(parseUtcTime(L"1970-01-01", t));
    EXPECT_EQ(t, 0);
    ASSERT_TRUE(parseUtcTime(L"2030-01-01T10:30+00:00", t));
    EXPECT_EQ(t, k2030 + 10 * 3600 + 30 * 60);
    for (const wchar_t* bad :
         {L"2027-02-29", L"2030-13-01", L"2030-00-10", L"2030-01-32", L"2030-1-01", L"2030-01-01T24:00:00Z",
          L"2030-01-01T10:00:00", L"2030-01-01 10:00:00Z", L"2030-01-01T10:00:00.Z", L""})
        EXPECT_FALSE(parseUtcTime(bad, t)) << bad;
    EXPECT_EQ(formatUtcTime(k2030 - 1), L"2029-12-31T23:59:59Z");
}

TEST(SignedListCheck, RefusesMissingWrongRolledBackFrozenAndUnstampedLists)
{
    const P256KeyPair key = newKey();
    const ReleaseKeys keys = keysOf({&key});
    const std::string list = signedList(5, "2030-01-01T00:00:00Z");
    const std::string signature = signatureText(key, list);
    const long long now = k2030 - kDay;

    ListCheck good = checkSignedList(list, &signature, keys, 5, now, ListRole::UpdateList, L"u");
    EXPECT_TRUE(good.accepted) << good.logLine;
    EXPECT_EQ(good.serial, 5);

    auto refusedWith = [&](const ListCheck& check, const wchar_t* words) {
        EXPECT_FALSE(check.accepted);
        EXPECT_NE(check.logLine.find(words), std::wstring::npos) << check.logLine;
    };
    refusedWith(checkSignedList(list, nullptr, keys, 0, now, ListRole::UpdateList, L"u"), L"could not be fetched");
    const std::string junk = "@@@";
    refusedWith(checkSignedList(list, &junk, keys, 0, now, ListRole::UpdateList, L"u"), L"malformed");
    refusedWith(checkSignedList(list + " ", &signature, keys, 0, now, ListRole::UpdateList, L"u"), L"does not match");
    refusedWith(checkSignedList(list, &signature, keys, 6, now, ListRole::UpdateList, L"u"), L"rollback");
    refusedWith(checkSignedList(list, &signature, keys, 0, k2030, ListRole::UpdateList, L"u"), L"frozen");

    const std::string bare = "<update><file path=\"a.txt\" ver=\"1\"/></update>";
    const std::string bareSignature = signatureText(key, bare);
    refusedWith(checkSignedList(bare, &bareSignature, keys, 0, now, ListRole::UpdateList, L"u"), L"no serial");
    // A master list is checked by what it carries.
    EXPECT_TRUE(checkSignedList(bare, &bareSignature, keys, 9, now, ListRole::MasterList, L"m").accepted);
    refusedWith(checkSignedList(list, &signature, keys, 9, now, ListRole::MasterList, L"m"), L"rollback");

    const std::string noExpiry = "<update serial=\"5\"/>";
    const std::string noExpirySignature = signatureText(key, noExpiry);
    refusedWith(checkSignedList(noExpiry, &noExpirySignature, keys, 0, now, ListRole::UpdateList, L"u"), L"no expires");
}

TEST(SignedListCheck, ARolloverKeyVerifiesAndAnUnusableKeyVerifiesNothing)
{
    const P256KeyPair oldKey = newKey();
    const P256KeyPair newKeyPair = newKey();
    const std::string list = signedList(2, "2030-01-01T00:00:00Z");
    const std::string byNew = signatureText(newKeyPair, list);
    EXPECT_TRUE(
        checkSignedList(list, &byNew, keysOf({&oldKey, &newKeyPair}), 0, 0, ListRole::UpdateList, L"u").accepted);
    EXPECT_FALSE(checkSignedList(list, &byNew, keysOf({&oldKey}), 0, 0, ListRole::UpdateList, L"u").accepted);
    ReleaseKeys unusable;
    unusable.configured = true;
    const ListCheck check = checkSignedList(list, &byNew, unusable, 0, 0, ListRole::UpdateList, L"u");
    EXPECT_FALSE(check.accepted);
    EXPECT_NE(check.logLine.find(L"usable key"), std::wstring::npos);
}

TEST(SignedDocuments, RoundTripAndRefuseDamagedHandOvers)
{
    SignedDocuments documents{"<update serial=\"3\"/>", "c2ln\n", "<update/>", "", 3};
    const std::string bytes = writeSignedDocuments(documents);
    SignedDocuments back;
    ASSERT_TRUE(readSignedDocuments(bytes, back));
    EXPECT_EQ(back.list, documents.list);
    EXPECT_EQ(back.listSignature, documents.listSignature);
    EXPECT_EQ(back.master, documents.master);
    EXPECT_EQ(back.masterSignature, "");
    EXPECT_EQ(back.serial, 3);
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(readSignedDocuments(bytes.substr(0, cut), back)) << cut;
    EXPECT_FALSE(readSignedDocuments(bytes + "x", back));
    std::string huge = bytes;
    huge[28 + 7] = '\x7F'; // the first length's top byte
    EXPECT_FALSE(readSignedDocuments(huge, back));
}

TEST(SignedListCheck, SignatureAddressKeepsTheQueryAndTheSerialFileKeepsTheHighest)
{
    EXPECT_EQ(signatureUrl(L"http://h/pub/update.xml"), L"http://h/pub/update.xml.sig");
    EXPECT_EQ(signatureUrl(L"http://h/list.php?ver=1&x=2"), L"http://h/list.php.sig?ver=1&x=2");

    test::TestFolder folder(L"serial-file");
    EXPECT_EQ(installedSerial(), 0);
    EXPECT_TRUE(recordInstalledSerial(4));
    EXPECT_EQ(installedSerial(), 4);
    EXPECT_TRUE(recordInstalledSerial(2));
    EXPECT_EQ(installedSerial(), 4) << "a lower serial must not lower the record";
    EXPECT_EQ(folder.read(L"renewkit.xml.serial"), "4\r\n");
    folder.write(L"renewkit.xml.serial", "12x");
    EXPECT_EQ(installedSerial(), 0);
}
