#include "search/searcher.h"

#include <algorithm>
#include <iostream>
#include <string_view>

#include "board/tables.h"

namespace corvina {

SearchKind searchKindNamed(const char* name) {
    return std::string_view(name) == "strong" ? SearchKind::Strong : SearchKind::Design;
}

void initSearcher(Searcher& searcher, Engine* engine, std::int64_t memoryBytes, std::ostream& out) {
    searcher.engine = engine;

    // A table that does not fit is halved until it does: a small table plays, none cannot.
    std::uint32_t count = hashEntryCountFor(memoryBytes);
    while (!searcher.table.allocate(count) && count > 1) {
        std::cerr << "hash table of " << count << " entries cannot be allocated, trying "
                  << count / 2 << std::endl;
        count /= 2;
    }
    searcher.markCount = 0;  // the new table holds none

    searcher.killers.reset();
    searcher.bestMove = NoMove;
    searcher.probeMove = NoMove;
    searcher.drawValue = 50;
    resetSearcher(searcher);
    generateKeys(std::int32_t(std::max<std::uint32_t>(searcher.table.entryCount, 1)));

    out << "mem max:  " << memoryBytes << std::endl;
    out << "hash size: " << searcher.table.entryCount << std::endl;
    out << "node size: " << sizeof(HashEntry) << std::endl;
    out << "mem used: " << std::uint64_t(searcher.table.entryCount) * sizeof(HashEntry)
        << std::endl;
}

void initSearcher(Searcher& searcher, Engine* engine, std::int64_t memoryBytes) {
    initSearcher(searcher, engine, memoryBytes, std::cout);
}

void resetSearcher(Searcher& searcher) {
    clearRepetitionMarks(searcher);
    searcher.killers.reset();
    searcher.bestMove = NoMove;
    searcher.probeMove = NoMove;
    searcher.gameResult = -1;
    searcher.timeBudget = 0;
    searcher.passDepth = 0;
    searcher.stopDeepening = 0;
    searcher.aborted = 0;
    searcher.hardAborted = 0;
    searcher.acceptable = 0;
    searcher.probeValue = 0;
    searcher.nodeCount = 0;
    searcher.pollCount = 0;
}

void markRepetition(Searcher& searcher, const Position& child) {
    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, RepetitionDepth, NoMove, searcher.drawValue,
                                 searcher.drawValue),
                   true);
    // Every pass marks the same children again.
    const std::uint32_t index = child.hashIndexKey & (searcher.table.entryCount - 1);
    for (int i = 0; i < searcher.markCount; ++i) {
        if (searcher.marks[i].index == index && searcher.marks[i].lock == child.hashLockKey)
            return;
    }
    if (searcher.markCount < MoveListCapacity)
        searcher.marks[searcher.markCount++] = RepetitionMark{index, child.hashLockKey};
}

void clearRepetitionMarks(Searcher& searcher) {
    for (int i = 0; i < searcher.markCount; ++i) {
        const RepetitionMark& mark = searcher.marks[i];
        if (mark.index >= searcher.table.entryCount) continue;
        HashEntry& slot = searcher.table.entries[mark.index];
        if (slot.lock == mark.lock && slot.depth == RepetitionDepth) slot = HashEntry{};
    }
    searcher.markCount = 0;
}

}  // namespace corvina
