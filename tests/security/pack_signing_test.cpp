// renewkit-pack's keys and signed releases, checked with the updater's own rules.
#include "core/path_helpers.h"
#include "core/release_signature.h"
#include "list/signed_list.h"
#include "platform/clock.h"
#include "platform/ecdsa.h"
#include "platform/file_security.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"
#include "tools/pack/pack.h"
#include "tools/pack/signing.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::pack;

namespace {

std::string readText(const std::wstring& path)
{
    std::string bytes;
    readFileBytes(path, bytes);
    return bytes;
}

ReleaseKeys keysFromPub(const std::wstring& pubFile)
{
    const std::string text = readText(pubFile);
    return releaseKeysFromIni(std::wstring(text.begin(), text.end()));
}

ListCheck check(const std::wstring& folder, const std::wstring& name, const ReleaseKeys& keys, ListRole role)
{
    const std::string signature = readText(folder + name + L".sig");
    return checkSignedList(readText(folder + name), signature.empty() ? nullptr : &signature, keys, 0, utcSecondsNow(),
                           role, name);
}

} // namespace

TEST(PackSigning, KeygenWritesAKeyOnlyItsOwnerMayReadAndAConfigurationLine)
{
    test::TestFolder folder(L"pack-keygen");
    std::wstring line;
    ASSERT_EQ(generateKeyFiles(folder.file(L"vendor"), line), L"");
    EXPECT_EQ(line.rfind(L"PublicKey=", 0), 0u);
    const ReleaseKeys keys = keysFromPub(folder.file(L"vendor.pub"));
    ASSERT_EQ(keys.keys.size(), 1u);

    std::wstring who;
    EXPECT_FALSE(readableByOthers(folder.file(L"vendor.key"), who)) << who;
    SigningKey key;
    ASSERT_EQ(loadSigningKey(folder.file(L"vendor.key"), key), L"");
    EXPECT_EQ(key.publicKey, keys.keys[0]);

    // The same key read back signs what the public line verifies.
    const std::string signature = signatureFileText(key, "document");
    EXPECT_EQ(checkDocumentSignature("document", &signature, keys.keys), SignatureCheck::Good);

    std::wstring again;
    EXPECT_NE(generateKeyFiles(folder.file(L"vendor"), again).find(L"exists already"), std::wstring::npos);
}

TEST(PackSigning, KeyFilesThatOthersMayReadOrThatAreDamagedAreRefused)
{
    test::TestFolder folder(L"pack-keyfile");
    P256KeyPair pair;
    ASSERT_TRUE(generateP256KeyPair(pair));
    const std::string text = privateKeyText({pair.publicKey, pair.privateKey});

    // Written the ordinary way, a file gets the folder's rights: other users may read it.
    folder.write(L"open.key", text);
    SigningKey key;
    const std::wstring refusal = loadSigningKey(folder.file(L"open.key"), key);
    EXPECT_NE(refusal.find(L"may be read by other users"), std::wstring::npos) << refusal;

    ASSERT_TRUE(writePrivateFile(folder.file(L"closed.key"), text));
    EXPECT_FALSE(writePrivateFile(folder.file(L"closed.key"), text)) << "an existing file is not replaced";
    EXPECT_EQ(loadSigningKey(folder.file(L"closed.key"), key), L"");

    // Halves of two different keys would sign what no published key verifies.
    P256KeyPair other;
    ASSERT_TRUE(generateP256KeyPair(other));
    SigningKey mixed;
    EXPECT_FALSE(parsePrivateKeyText(privateKeyText({other.publicKey, pair.privateKey}), mixed));
    EXPECT_FALSE(parsePrivateKeyText(text.substr(0, text.size() - 6) + "\n", mixed));
    EXPECT_FALSE(parsePrivateKeyText("PublicKey=" + text, mixed));
    EXPECT_NE(loadSigningKey(folder.file(L"missing.key"), key).find(L"cannot read"), std::wstring::npos);
}

TEST(PackSigning, SignedReleaseCarriesDigestsSerialAndExpiryAndEachPackRaisesTheSerial)
{
    test::TestFolder folder(L"pack-signed");
    std::wstring line;
    ASSERT_EQ(generateKeyFiles(folder.file(L"k"), line), L"");
    const ReleaseKeys keys = keysFromPub(folder.file(L"k.pub"));
    createFolderChain(folder.file(L"release\\sub\\x"));
    folder.write(L"release\\app.txt", "abc");
    folder.write(L"release\\sub\\empty.bin", "");

    PackOptions options;
    options.release = folder.file(L"release");
    options.output = folder.file(L"out");
    options.keyFile = folder.file(L"k.key");
    options.expiresDays = 10;
    ASSERT_EQ(packRelease(options), L"");
    const std::wstring out = folder.file(L"out\\");
    const std::string list = readText(out + L"update.xml");
    EXPECT_NE(list.find("path=\"app.txt\" ver=\"900150983cd24fb0d6963f7d28e17f72\" "
                        "sha256=\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\" size=\"3\""),
              std::string::npos)
        << list;
    EXPECT_NE(list.find("sha256=\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\" size=\"0\""),
              std::string::npos);

    ListCheck first = check(out, L"update.xml", keys, ListRole::UpdateList);
    ASSERT_TRUE(first.accepted) << first.logLine;
    EXPECT_EQ(first.serial, 1);
    const ListPolicy policy = readListPolicy(list);
    const long long days = (policy.expires - utcSecondsNow() + 3600) / 86400;
    EXPECT_EQ(days, 10);
    EXPECT_TRUE(check(out, L"renewkit.main.xml", keys, ListRole::MasterList).accepted);

    ASSERT_EQ(packRelease(options), L"");
    EXPECT_EQ(check(out, L"update.xml", keys, ListRole::UpdateList).serial, 2);
    options.serial = 40;
    ASSERT_EQ(packRelease(options), L"");
    EXPECT_EQ(check(out, L"update.xml", keys, ListRole::UpdateList).serial, 40);

    // Packed again without a key, the stale signatures go: they would only be refused.
    options.keyFile.clear();
    options.serial = 0;
    options.expiresDays = 0;
    ASSERT_EQ(packRelease(options), L"");
    EXPECT_FALSE(fileExists(out + L"update.xml.sig"));
    EXPECT_FALSE(fileExists(out + L"renewkit.main.xml.sig"));
    EXPECT_EQ(readText(out + L"update.xml").find("serial="), std::string::npos);
    EXPECT_NE(readText(out + L"update.xml").find("sha256="), std::string::npos);
}

TEST(PackSigning, ArgumentsForKeysAndSigning)
{
    PackOptions options;
    std::wstring error;
    ASSERT_TRUE(parseArguments({L"keygen", L"C:\\keys\\vendor"}, options, error)) << error;
    EXPECT_TRUE(options.keygen);
    EXPECT_EQ(options.keyPrefix, L"C:\\keys\\vendor");

    PackOptions signing;
    ASSERT_TRUE(
        parseArguments({L"rel", L"out", L"--sign", L"v.key", L"--serial", L"12", L"--expires", L"7"}, signing, error))
        << error;
    EXPECT_EQ(signing.keyFile, L"v.key");
    EXPECT_EQ(signing.serial, 12);
    EXPECT_EQ(signing.expiresDays, 7);

    for (const std::vector<std::wstring>& bad : {std::vector<std::wstring>{L"keygen"},
                                                 {L"rel", L"out", L"--serial", L"0"},
                                                 {L"rel", L"out", L"--serial", L"-1"},
                                                 {L"rel", L"out", L"--expires", L"0"},
                                                 {L"rel", L"out", L"--expires", L"40000"},
                                                 {L"rel", L"out", L"--sign"}}) {
        PackOptions o;
        EXPECT_FALSE(parseArguments(bad, o, error)) << bad.size();
    }
}

TEST(PackSigning, ARefusedKeyLeavesTheOutputFolderUntouched)
{
    test::TestFolder folder(L"pack-refused");
    createFolderChain(folder.file(L"release\\x"));
    folder.write(L"release\\app.txt", "abc");
    P256KeyPair pair;
    ASSERT_TRUE(generateP256KeyPair(pair));
    folder.write(L"open.key", privateKeyText({pair.publicKey, pair.privateKey}));
    PackOptions options;
    options.release = folder.file(L"release");
    options.output = folder.file(L"out");
    options.keyFile = folder.file(L"open.key");
    EXPECT_NE(packRelease(options), L"");
    EXPECT_FALSE(fileExists(folder.file(L"out\\update.xml")));
    EXPECT_FALSE(fileExists(folder.file(L"out\\app.txt")));
}
