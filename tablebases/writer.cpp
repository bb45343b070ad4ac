// Writer of compressed tablebase files.
//
// Plan: choose the 24 match distances from a sample of the blocks, parse every
// block into literals and matches by a cheapest-path search over the block
// with bit costs from the previous round's code, build one length-limited
// Huffman code for the whole file, and emit each block (raw when that is not
// larger).
#include "tablebases/writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <queue>

#include "tablebases/decoder.h"

namespace corvina {

namespace {

constexpr int TableBlockBits = 13;  // 8192-byte blocks, the only size tablebase readers accept
constexpr int MainCodeLimit = 24;  // longest main code; 13 bits resolve nearly all
constexpr int AuxCodeLimit = 15;
constexpr int AuxSymbolCount = 64;
constexpr int LiteralCount = 256;
constexpr std::uint32_t MaxMatchLength = (std::uint32_t(1) << 18) + 13;

// MSB-first bit writer.
struct BitWriter {
    std::vector<std::uint8_t>& bytes;
    std::uint64_t pending = 0;
    int count = 0;
    std::uint64_t bitsWritten = 0;

    explicit BitWriter(std::vector<std::uint8_t>& out) : bytes(out) {}

    void put(std::uint32_t value, int bits) {  // 0..32 bits
        if (bits == 0) {
            return;
        }
        pending = pending << bits | (value & ((std::uint64_t(1) << bits) - 1));
        count += bits;
        bitsWritten += std::uint64_t(bits);
        while (count >= 8) {
            count -= 8;
            bytes.push_back(std::uint8_t(pending >> count));
        }
    }
    void flush() {  // pad the last byte with zeros
        if (count > 0) {
            bytes.push_back(std::uint8_t(pending << (8 - count)));
            count = 0;
        }
    }
};

void putBigEndian32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

// Huffman code lengths no longer than limit. A single used symbol gets length
// 1 (the decoder then reads no bits for it); none used gives all zeros.
void huffmanLengths(const std::uint64_t* freq, int n, int limit, std::uint8_t* lengths) {
    std::vector<std::uint64_t> weight(freq, freq + n);
    for (;;) {
        std::fill(lengths, lengths + n, std::uint8_t(0));
        std::vector<int> used;
        for (int s = 0; s < n; ++s) {
            if (weight[s] != 0) {
                used.push_back(s);
            }
        }
        if (used.empty()) {
            return;
        }
        if (used.size() == 1) {
            lengths[used[0]] = 1;
            return;
        }
        // Nodes 0..n-1 are symbols, later ones are merged pairs.
        std::vector<int> parent(std::size_t(2 * n), -1);
        using Item = std::pair<std::uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
        for (int s : used) {
            queue.push({weight[s], s});
        }
        int nextNode = n;
        while (queue.size() > 1) {
            Item a = queue.top();
            queue.pop();
            Item b = queue.top();
            queue.pop();
            parent[std::size_t(a.second)] = nextNode;
            parent[std::size_t(b.second)] = nextNode;
            queue.push({a.first + b.first, nextNode++});
        }
        int longest = 0;
        for (int s : used) {
            int depth = 0;
            for (int node = s; parent[std::size_t(node)] != -1; node = parent[std::size_t(node)]) {
                ++depth;
            }
            lengths[s] = std::uint8_t(std::min(depth, 255));
            longest = std::max(longest, depth);
        }
        if (longest <= limit) {
            return;
        }
        // Too deep: flatten the weights and build again.
        for (int s : used) {
            weight[s] = (weight[s] >> 1) | 1;
        }
    }
}

// Canonical codes in the decoder's convention: shorter codes first, one
// length in symbol order, the first code all zeros.
void canonicalCodes(const std::uint8_t* lengths, int n, std::uint32_t* codes) {
    int perLength[33] = {};
    for (int s = 0; s < n; ++s) {
        ++perLength[lengths[s]];
    }
    perLength[0] = 0;
    std::uint32_t next[33] = {};
    std::uint32_t code = 0;
    for (int len = 1; len <= 32; ++len) {
        code = (code + std::uint32_t(perLength[len - 1])) << 1;
        next[len] = code;
    }
    for (int s = 0; s < n; ++s) {
        codes[s] = lengths[s] != 0 ? next[lengths[s]]++ : 0;
    }
}

struct Code {
    std::uint8_t lengths[MainSymbolCount] = {};
    std::uint32_t codes[MainSymbolCount] = {};
    bool single = false;  // one symbol: written with no bits

    void build(const std::uint64_t* freq, int n, int limit) {
        huffmanLengths(freq, n, limit, lengths);
        canonicalCodes(lengths, n, codes);
        single = std::count_if(lengths, lengths + n, [](std::uint8_t l) { return l != 0; }) == 1;
    }
    void put(BitWriter& out, int symbol) const {
        if (!single) {
            out.put(codes[symbol], lengths[symbol]);
        }
    }
};

// Length code c and its extra bits for a match length of 1..MaxMatchLength.
struct LengthCode {
    int code;
    int extraBits;
    std::uint32_t extra;
};

LengthCode lengthCode(std::uint32_t length) {
    if (length <= 15) {
        return {int(length) - 1, 0, 0};
    }
    int e = 1;
    while ((std::uint32_t(1) << (e + 1)) + 14 <= length) {
        ++e;
    }
    return {e + 14, e, length - (std::uint32_t(1) << e) - 14};
}

struct Token {
    std::uint32_t length;  // 0: a literal
    std::uint8_t literal;
    std::uint8_t distanceIndex;
};

// Bit costs for the cheapest-path parse, in 1/16 bits.
struct Costs {
    std::uint32_t symbol[MainSymbolCount];
};

constexpr std::uint32_t CostScale = 16;

Costs costsFromLengths(const std::uint8_t* lengths) {
    Costs costs{};
    for (int s = 0; s < MainSymbolCount; ++s) {
        // Unused symbols stay possible but expensive.
        costs.symbol[s] = (lengths[s] != 0 ? lengths[s] : MainCodeLimit + 2) * CostScale;
    }
    return costs;
}

// First-round costs: literals by their frequency in the data, matches at a
// flat guess.
Costs initialCosts(const std::uint8_t* data, std::size_t size) {
    std::uint64_t count[LiteralCount] = {};
    for (std::size_t i = 0; i < size; ++i) {
        ++count[data[i]];
    }
    Costs costs{};
    for (int s = 0; s < LiteralCount; ++s) {
        double p = double(count[s] + 1) / double(size + LiteralCount);
        double bits = 0;
        for (double q = p; q < 1.0; q *= 2) {
            bits += 1;
        }
        costs.symbol[s] = std::uint32_t(std::max(1.0, bits) * CostScale);
    }
    for (int s = LiteralCount; s < MainSymbolCount; ++s) {
        costs.symbol[s] = 10 * CostScale;
    }
    return costs;
}

std::uint32_t matchCost(const Costs& costs, int distanceIndex, std::uint32_t length) {
    LengthCode lc = lengthCode(length);
    return costs.symbol[LiteralCount + distanceIndex * 32 + lc.code] + std::uint32_t(lc.extraBits) * CostScale;
}

// Cheapest parse of one block with the given distances.
class BlockParser {
public:
    BlockParser(const std::uint32_t* distances, std::uint32_t blockSize)
        : distances_(distances),
          cost_(blockSize + 1),
          fromLength_(blockSize + 1),
          fromDistance_(blockSize + 1),
          matchLength_(DistanceCount, 0) {}

    void parse(const std::uint8_t* block, std::uint32_t size, const Costs& costs, std::vector<Token>& tokens) {
        constexpr std::uint32_t Unreached = 0xFFFFFFFFu;
        std::fill(cost_.begin(), cost_.begin() + size + 1, Unreached);
        std::fill(matchLength_.begin(), matchLength_.end(), 0u);
        cost_[0] = 0;
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::uint32_t here = cost_[i];
            relax(i, i + 1, here + costs.symbol[block[i]], 0, 0);
            int best = -1;
            for (int k = 0; k < DistanceCount; ++k) {
                const std::uint32_t d = distances_[k];
                std::uint32_t& len = matchLength_[std::size_t(k)];
                if (len > 1) {
                    --len;  // the match from i - 1 continues
                } else {
                    len = 0;
                    if (d != 0 && d <= i) {
                        const std::uint32_t limit = std::min(size - i, MaxMatchLength);
                        while (len < limit && block[i + len] == block[i + len - d]) {
                            ++len;
                        }
                    }
                }
                if (len == 0 || (k > 0 && d == distances_[k - 1])) {
                    continue;
                }
                relax(i, i + len, here + matchCost(costs, k, len), len, k);
                if (best < 0 || len > matchLength_[std::size_t(best)]) {
                    best = k;
                }
            }
            // Shorter pieces of the longest match let a later match take over.
            if (best >= 0) {
                const std::uint32_t longest = matchLength_[std::size_t(best)];
                for (std::uint32_t len = 1; len < longest && len <= 18; ++len) {
                    relax(i, i + len, here + matchCost(costs, best, len), len, best);
                }
                for (int e = 2; e <= 17; ++e) {
                    std::uint32_t len = (std::uint32_t(1) << (e + 1)) + 13;  // top of a length code
                    if (len >= longest) {
                        break;
                    }
                    relax(i, i + len, here + matchCost(costs, best, len), len, best);
                }
            }
        }
        // Walk back from the end.
        tokens.clear();
        for (std::uint32_t j = size; j > 0;) {
            std::uint32_t len = fromLength_[j];
            if (len == 0) {
                tokens.push_back(Token{0, block[j - 1], 0});
                j -= 1;
            } else {
                tokens.push_back(Token{len, 0, std::uint8_t(fromDistance_[j])});
                j -= len;
            }
        }
        std::reverse(tokens.begin(), tokens.end());
    }

private:
    void relax(std::uint32_t, std::uint32_t to, std::uint32_t cost, std::uint32_t length, int distanceIndex) {
        if (cost < cost_[to]) {
            cost_[to] = cost;
            fromLength_[to] = length;
            fromDistance_[to] = std::uint8_t(distanceIndex);
        }
    }

    const std::uint32_t* distances_;
    std::vector<std::uint32_t> cost_;
    std::vector<std::uint32_t> fromLength_;
    std::vector<std::uint8_t> fromDistance_;
    std::vector<std::uint32_t> matchLength_;
};

// The 24 distances: those of the longest matches found with any distance in a
// sample of the blocks, weighted by the bytes they cover. Distance 1 (runs of
// one value) is always kept.
void chooseDistances(const std::uint8_t* data, std::size_t size, std::uint32_t blockSize,
                     std::uint32_t* distances) {
    const std::size_t blocks = (size + blockSize - 1) / blockSize;
    const std::size_t sampleCount = std::min<std::size_t>(blocks, 64);
    std::vector<std::uint64_t> weight(blockSize, 0);
    constexpr int HashBits = 14;
    constexpr int ChainDepth = 48;
    std::vector<std::int32_t> head(std::size_t(1) << HashBits);
    std::vector<std::int32_t> previous(blockSize);
    for (std::size_t sample = 0; sample < sampleCount; ++sample) {
        const std::size_t b = sample * blocks / sampleCount;
        const std::uint8_t* block = data + b * blockSize;
        const std::uint32_t n = std::uint32_t(std::min<std::size_t>(blockSize, size - b * blockSize));
        std::fill(head.begin(), head.end(), -1);
        auto hashAt = [&](std::uint32_t i) {
            std::uint32_t v = std::uint32_t(block[i]) << 16 | std::uint32_t(block[i + 1]) << 8 | block[i + 2];
            return (v * 2654435761u) >> (32 - HashBits);
        };
        std::uint32_t i = 0;
        auto insert = [&](std::uint32_t at) {
            if (at + 3 <= n) {
                std::uint32_t h = hashAt(at);
                previous[at] = head[h];
                head[h] = std::int32_t(at);
            }
        };
        while (i + 3 <= n) {
            std::uint32_t bestLength = 0;
            std::uint32_t bestDistance = 0;
            int depth = 0;
            for (std::int32_t c = head[hashAt(i)]; c >= 0 && depth < ChainDepth; c = previous[std::size_t(c)], ++depth) {
                std::uint32_t len = 0;
                while (i + len < n && block[i + len] == block[std::uint32_t(c) + len]) {
                    ++len;
                }
                if (len > bestLength) {
                    bestLength = len;
                    bestDistance = i - std::uint32_t(c);
                }
            }
            if (bestLength >= 3) {
                weight[bestDistance] += bestLength - 2;
                for (std::uint32_t k = 0; k < bestLength; ++k) {
                    insert(i + k);
                }
                i += bestLength;
            } else {
                insert(i);
                ++i;
            }
        }
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t d = 2; d < blockSize; ++d) {
        order.push_back(d);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return weight[a] > weight[b]; });
    distances[0] = 1;
    for (int k = 1; k < DistanceCount; ++k) {
        // Unused slots repeat the previous distance; the parser skips repeats.
        std::size_t pick = std::size_t(k - 1);
        distances[k] = pick < order.size() && (weight[order[pick]] != 0 || k == 1)
                           ? order[pick]
                           : distances[k - 1];
    }
    if (blockSize < 2) {
        std::fill(distances, distances + DistanceCount, 1u);
    }
}

// The main code's lengths written with the two small codes of the format.
void writeCodeLengths(BitWriter& out, const std::uint8_t* lengths) {
    if (std::all_of(lengths, lengths + MainSymbolCount, [](std::uint8_t l) { return l == 0; })) {
        out.put(1, 1);
        return;
    }
    out.put(0, 1);
    struct Step {
        int a;
        int b;  // -1: no repeat count
        int extraBits;
        std::uint32_t extra;
    };
    std::vector<Step> steps;
    for (int i = 0; i < MainSymbolCount;) {
        int run = 1;
        while (i + run < MainSymbolCount && lengths[i + run] == lengths[i]) {
            ++run;
        }
        if (run == 1) {
            steps.push_back({lengths[i], -1, 0, 0});
        } else if (run <= 33) {
            steps.push_back({32 + lengths[i], run - 2, 0, 0});
        } else {
            std::uint32_t q = std::uint32_t(run - 33);
            int e = 0;
            while ((q >> (e + 1)) != 0) {
                ++e;
            }
            steps.push_back({32 + lengths[i], 32 + e, e, q - (std::uint32_t(1) << e)});
        }
        i += run;
    }
    std::uint64_t freqA[AuxSymbolCount] = {};
    std::uint64_t freqB[AuxSymbolCount] = {};
    for (const Step& s : steps) {
        ++freqA[s.a];
        if (s.b >= 0) {
            ++freqB[s.b];
        }
    }
    Code codeA;
    Code codeB;
    codeA.build(freqA, AuxSymbolCount, AuxCodeLimit);
    codeB.build(freqB, AuxSymbolCount, AuxCodeLimit);

    // The 128 auxiliary lengths in the direct form.
    std::uint8_t aux[128];
    std::memcpy(aux, codeA.lengths, AuxSymbolCount);
    std::memcpy(aux + AuxSymbolCount, codeB.lengths, AuxSymbolCount);
    out.put(0, 1);
    int width = 1;
    while ((*std::max_element(aux, aux + 128) >> width) != 0) {
        ++width;
    }
    out.put(std::uint32_t(width), 5);
    for (int i = 0; i < 128;) {
        out.put(aux[i], width);
        ++i;
        if (aux[i - 1] == 0) {
            int zeros = 0;
            while (zeros < 15 && i + zeros < 128 && aux[i + zeros] == 0) {
                ++zeros;
            }
            out.put(std::uint32_t(zeros), 4);
            i += zeros;
        }
    }
    for (const Step& s : steps) {
        codeA.put(out, s.a);
        if (s.b >= 0) {
            codeB.put(out, s.b);
            out.put(s.extra, s.extraBits);
        }
    }
}

void countTokens(const std::vector<Token>& tokens, std::uint64_t* freq) {
    for (const Token& t : tokens) {
        if (t.length == 0) {
            ++freq[t.literal];
        } else {
            ++freq[LiteralCount + t.distanceIndex * 32 + lengthCode(t.length).code];
        }
    }
}

void writeTokens(BitWriter& out, const std::vector<Token>& tokens, const Code& code) {
    for (const Token& t : tokens) {
        if (t.length == 0) {
            code.put(out, t.literal);
        } else {
            LengthCode lc = lengthCode(t.length);
            code.put(out, LiteralCount + t.distanceIndex * 32 + lc.code);
            out.put(lc.extra, lc.extraBits);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> compressTableData(const std::uint8_t* data, std::size_t size, int blockBits,
                                            CompressionStats* stats) {
    std::vector<std::uint8_t> file;
    if (size == 0 || blockBits < 1 || blockBits > MaxBlockBits) {
        return file;
    }
    const std::uint32_t blockSize = std::uint32_t(1) << blockBits;
    const std::size_t blockCountWide = (size + blockSize - 1) / blockSize;
    if (blockCountWide > 0xFFFFFFF) {
        return file;
    }
    const std::uint32_t blockCount = std::uint32_t(blockCountWide);
    auto blockStart = [&](std::uint32_t b) { return data + std::size_t(b) * blockSize; };
    auto blockLength = [&](std::uint32_t b) {
        return std::uint32_t(std::min<std::size_t>(blockSize, size - std::size_t(b) * blockSize));
    };

    std::uint32_t distances[DistanceCount];
    chooseDistances(data, size, blockSize, distances);

    // Two rounds of parsing refine the costs; the final code is built from the
    // symbols of the parse that is then written.
    BlockParser parser(distances, blockSize);
    std::vector<Token> tokens;
    Costs costs = initialCosts(data, size);
    Code code;
    for (int round = 0; round < 2; ++round) {
        std::uint64_t freq[MainSymbolCount] = {};
        for (std::uint32_t b = 0; b < blockCount; ++b) {
            parser.parse(blockStart(b), blockLength(b), costs, tokens);
            countTokens(tokens, freq);
        }
        if (round == 0) {
            Code first;
            first.build(freq, MainSymbolCount, MainCodeLimit);
            costs = costsFromLengths(first.lengths);
        } else {
            code.build(freq, MainSymbolCount, MainCodeLimit);
        }
    }

    // Blocks, each from a byte boundary; raw when compression does not pay.
    std::vector<std::uint8_t> body;
    std::vector<std::uint32_t> storedSizes(blockCount);
    std::vector<std::uint32_t> checksums(2 * std::size_t(blockCount));
    std::vector<std::uint8_t> encoded;
    std::uint32_t rawBlocks = 0;
    for (std::uint32_t b = 0; b < blockCount; ++b) {
        const std::uint8_t* block = blockStart(b);
        const std::uint32_t length = blockLength(b);
        parser.parse(block, length, costs, tokens);
        encoded.clear();
        BitWriter out(encoded);
        writeTokens(out, tokens, code);
        out.flush();
        if (encoded.empty()) {
            encoded.push_back(0);  // a stored size of 0 would mean a full block
        }
        if (encoded.size() >= length) {
            encoded.assign(block, block + length);
            ++rawBlocks;
        }
        storedSizes[b] = std::uint32_t(encoded.size());
        checksums[2 * b] = blockChecksum(block, length, 0);
        checksums[2 * b + 1] = blockChecksum(encoded.data(), encoded.size(), 0);
        body.insert(body.end(), encoded.begin(), encoded.end());
    }

    // Header: fixed part, checksum pairs, stream A, stream B, checksum.
    file.resize(FixedHeaderSize + 8 * std::size_t(blockCount), 0);
    std::memcpy(file.data(), CorvinaSignatureText, 58);
    file[58] = '\r';
    file[59] = '\n';
    file[70] = std::uint8_t(blockBits);
    file[71] = DistanceCount;
    putBigEndian32(file.data() + 72, blockCount);
    putBigEndian32(file.data() + 76, FormatTag);
    for (std::size_t i = 0; i < checksums.size(); ++i) {
        putBigEndian32(file.data() + FixedHeaderSize + 4 * i, checksums[i]);
    }
    {
        BitWriter a(file);
        for (std::uint32_t b = 0; b < blockCount; ++b) {
            a.put(storedSizes[b] == blockSize ? 0 : storedSizes[b], blockBits);
        }
        std::uint32_t last = blockLength(blockCount - 1);
        a.put(last == blockSize ? 0 : last, blockBits);
        for (std::uint32_t d : distances) {
            a.put(d, blockBits);
        }
        a.flush();
        BitWriter bStream(file);
        writeCodeLengths(bStream, code.lengths);
        bStream.flush();
    }
    const std::size_t headerSize = file.size() + 4;
    putBigEndian32(file.data() + 64, std::uint32_t(headerSize));
    file.resize(headerSize);
    putBigEndian32(file.data() + headerSize - 4, blockChecksum(file.data(), headerSize - 4, 0));
    file.insert(file.end(), body.begin(), body.end());

    if (stats != nullptr) {
        stats->inputBytes = size;
        stats->outputBytes = file.size();
        stats->blocks = blockCount;
        stats->rawBlocks = rawBlocks;
    }
    return file;
}

bool writeCompressedTable(const std::string& path, const std::uint8_t* data, std::size_t size,
                          CompressionStats* stats) {
    std::vector<std::uint8_t> file = compressTableData(data, size, TableBlockBits, stats);
    if (file.empty()) {
        return false;
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

}  // namespace corvina
