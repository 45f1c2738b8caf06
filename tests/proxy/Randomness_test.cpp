// What makes upstream numbers and question digests unforgeable: the ChaCha20
// block function against the test vectors of RFC 8439, the stream of numbers
// built on it, and SipHash-2-4 against the vectors of its authors.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "proxy/ChaCha20.h"
#include "proxy/RandomStream.h"
#include "proxy/SipHash.h"
#include "tests/support/TestSeed.h"

namespace corvane {
namespace {

template <std::size_t N>
std::array<std::uint8_t, N> fromHex(const std::string& hex) {
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        out[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    return out;
}

struct BlockVector {
    const char* name;
    const char* key;
    std::uint32_t counter;
    const char* nonce;
    const char* keystream;
};

// RFC 8439, section 2.3.2 and appendix A.1.
const BlockVector BlockVectors[] = {
    {"Section232", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 1,
     "000000090000004a00000000",
     "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
     "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e"},
    {"A1Vector1", "0000000000000000000000000000000000000000000000000000000000000000", 0,
     "000000000000000000000000",
     "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7"
     "da41597c5157488d7724e03fb8d84a376a43b8f41518a11cc387b669b2ee6586"},
    {"A1Vector2", "0000000000000000000000000000000000000000000000000000000000000000", 1,
     "000000000000000000000000",
     "9f07e7be5551387a98ba977c732d080dcb0f29a048e3656912c6533e32ee7aed"
     "29b721769ce64e43d57133b074d839d531ed1f28510afb45ace10a1f4b794d6f"},
    {"A1Vector3", "0000000000000000000000000000000000000000000000000000000000000001", 1,
     "000000000000000000000000",
     "3aeb5224ecf849929b9d828db1ced4dd832025e8018b8160b82284f3c949aa5a"
     "8eca00bbb4a73bdad192b5c42f73f2fd4e273644c8b36125a64addeb006c13a0"},
    {"A1Vector4", "00ff000000000000000000000000000000000000000000000000000000000000", 2,
     "000000000000000000000000",
     "72d54dfbf12ec44b362692df94137f328fea8da73990265ec1bbbea1ae9af0ca"
     "13b25aa26cb4a648cb9b9d1be65b2c0924a66c54d545ec1b7374f4872e99f096"},
    {"A1Vector5", "0000000000000000000000000000000000000000000000000000000000000000", 0,
     "000000000000000000000002",
     "c2c64d378cd536374ae204b9ef933fcd1a8b2288b3dfa49672ab765b54ee27c7"
     "8a970e0e955c14f3a88e741b97c286f75f8fc299e8148362fa198a39531bed6d"},
};

class ChaCha20Vectors : public testing::TestWithParam<BlockVector> {};

TEST_P(ChaCha20Vectors, BlockMatchesTheRfc) {
    const BlockVector& v = GetParam();
    EXPECT_EQ(chacha20Block(fromHex<32>(v.key), v.counter, fromHex<12>(v.nonce)),
              fromHex<64>(v.keystream));
}

INSTANTIATE_TEST_SUITE_P(Rfc8439, ChaCha20Vectors, testing::ValuesIn(BlockVectors),
                         [](const auto& row) { return std::string(row.param.name); });

// The stream is the keystream under the seed, less the first 32 bytes of each
// batch, which key the next batch. Pinned against the block function, so the
// construction cannot drift unseen (say, into handing out its own next key).
TEST(RandomStream, HandsOutTheKeystreamAndRekeysFromEachBatch) {
    const RandomSeed seed = test::testSeed();
    RandomStream stream(seed);
    ChaCha20Key key = seed;
    for (int batch = 0; batch < 3; ++batch) {
        std::vector<std::uint8_t> keystream;
        for (std::uint32_t block = 0; block < RandomStream::BatchBlocks; ++block) {
            const ChaCha20Block bytes = chacha20Block(key, block, ChaCha20Nonce{});
            keystream.insert(keystream.end(), bytes.begin(), bytes.end());
        }
        for (std::size_t at = 32; at < keystream.size(); at += 2) {
            ASSERT_EQ(stream.next16(), keystream[at] | keystream[at + 1] << 8)
                << "batch " << batch << ", byte " << at;
        }
        std::copy(keystream.begin(), keystream.begin() + 32, key.begin());
    }
}

TEST(RandomStream, ADrawTooBigForTheRestOfABatchStartsTheNext) {
    RandomStream stream(test::testSeed());
    RandomStream twin(test::testSeed());
    // 480 bytes a batch: after 239 draws of 2, the 2 left do not make 8.
    for (int i = 0; i < 239; ++i) {
        stream.next16();
    }
    for (int i = 0; i < 240; ++i) {
        twin.next16();
    }
    EXPECT_EQ(stream.next64(), twin.next64());
}

TEST(SipHash, MatchesTheReferenceVectors) {
    // Key 00..0f, message 00 01 02 ... of each length (the authors' vectors.h).
    const SipHashKey key{0x0706050403020100ULL, 0x0F0E0D0C0B0A0908ULL};
    const struct {
        std::size_t length;
        std::uint64_t hash;
    } vectors[] = {
        {0, 0x726fdb47dd0e0e31ULL},  {1, 0x74f839c593dc67fdULL},  {7, 0xab0200f58b01d137ULL},
        {8, 0x93f5f5799a932462ULL},  {15, 0xa129ca6149be45e5ULL}, {16, 0x3f2acc7f57c29bdbULL},
        {63, 0x958a324ceb064572ULL},
    };
    for (const auto& v : vectors) {
        std::vector<std::uint8_t> message(v.length);
        for (std::size_t i = 0; i < v.length; ++i) {
            message[i] = static_cast<std::uint8_t>(i);
        }
        SipHasher whole(key);
        whole.add(message.data(), message.size());
        EXPECT_EQ(whole.finish(), v.hash) << "length " << v.length;
        // Byte by byte, as a question is fed, gives the same.
        SipHasher piecewise(key);
        for (std::uint8_t byte : message) {
            piecewise.add(byte);
        }
        EXPECT_EQ(piecewise.finish(), v.hash) << "length " << v.length;
    }
}

}  // namespace
}  // namespace corvane
