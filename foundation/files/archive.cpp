// The archive format's keys and scrambling, opening and closing archives, and
// finding files and directories in their tables.
// Not here: the file calls built on archives (archive_fs.cpp), listings
// (archive_find.cpp), packed data's expansion (archive_stream.cpp), writing.
#include "foundation/files/archive.h"

#include <cstring>

#include "foundation/base/text.h"
#include "foundation/files/archive_internal.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

using namespace archive_detail;

namespace {

// Stands in for a missing key text.
constexpr char kDefaultKeyText[] = "TesselPackKy";
// Source of the second key; it is turned into a key at run time like a text.
constexpr uint8_t kSecondKeySeed[kArchiveKeySize] = {0x51, 0x8E, 0x23, 0xF4, 0x6A, 0x0D,
                                                     0xB9, 0x47, 0xC2, 0x1F, 0x75, 0xE8};

uint8_t RotateLeft(uint8_t b, int n) {
    return static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

// Each key byte gets a fixed operation of its own, so that the key text never
// shows through in an archive of zero bytes.
uint8_t TurnKeyByte(uint8_t b, int index) {
    switch (index) {
        case 0:
            return static_cast<uint8_t>(~b);
        case 1:
            return RotateLeft(b, 3);
        case 2:
            return static_cast<uint8_t>(b ^ 0x5A);
        case 3:
            return static_cast<uint8_t>(~RotateLeft(b, 1));
        case 4:
            return static_cast<uint8_t>(b ^ 0xA7);
        case 5:
            return static_cast<uint8_t>(RotateLeft(b, 6) ^ 0x3C);
        case 6:
            return static_cast<uint8_t>(~b ^ 0x81);
        case 7:
            return RotateLeft(b, 5);
        case 8:
            return static_cast<uint8_t>(b ^ 0xC3);
        case 9:
            return static_cast<uint8_t>(~RotateLeft(b, 5));
        case 10:
            return static_cast<uint8_t>(RotateLeft(b, 4) ^ 0x96);
        default:
            return static_cast<uint8_t>(~b ^ 0x2D);
    }
}

void TurnKey(const uint8_t* bytes, int length, uint8_t key[kArchiveKeySize]) {
    for (int i = 0; i < kArchiveKeySize; ++i) {
        key[i] = TurnKeyByte(bytes[i % length], i);
    }
}

bool MagicIsRight(const uint8_t* bytes) {
    return bytes[0] == 'Q' && bytes[1] == 'P';
}

void ParseHeader(const uint8_t* bytes, ArchiveHeader* header) {
    header->magic[0] = static_cast<char>(bytes[0]);
    header->magic[1] = static_cast<char>(bytes[1]);
    header->version = LoadU16(bytes + 2);
    header->tableSize = LoadU32(bytes + 4);
    header->dataStart = LoadU32(bytes + 8);
    header->tableOffset = LoadU32(bytes + 12);
    header->fileTableOffset = LoadU32(bytes + 16);
    header->dirTableOffset = LoadU32(bytes + 20);
}

void SetCodePage(ArchiveState* state, const uint8_t* header) {
    state->codePage = 0;
    state->charSet = 0;
    if (state->header.version >= 4) {
        state->codePage = static_cast<int32_t>(LoadU32(header + 24));
        state->charSet = ArchiveCharSetFromCodePage(static_cast<uint32_t>(state->codePage));
    }
}

// The header's own fields against the size of the archive: the tables must
// lie inside it and the root record inside the directory table.
int CheckHeader(const ArchiveHeader& header, uint64_t archiveSize) {
    if (header.version > kArchiveMaxVersion) {
        WriteLogFormat(ArchiveLogText(ArchiveLog::UnsupportedVersion), header.version);
        return -1;
    }
    if (archiveSize < ArchiveHeaderSize(header.version)) {
        return Damaged(ArchiveLog::HeaderCut);
    }
    if (static_cast<uint64_t>(header.tableOffset) + header.tableSize > archiveSize) {
        return Damaged(ArchiveLog::TableOutsideFile);
    }
    if (header.fileTableOffset > header.tableSize ||
        static_cast<uint64_t>(header.dirTableOffset) + kArchiveDirRecordSize > header.tableSize) {
        return Damaged(ArchiveLog::BadTablePlace);
    }
    if (header.dataStart > archiveSize) {
        return Damaged(ArchiveLog::DataStartOutsideFile);
    }
    return 0;
}

void SetTables(ArchiveState* state, uint8_t* tableBlock) {
    state->tableBlock = tableBlock;
    state->nameTable = tableBlock;
    state->fileTable = tableBlock + state->header.fileTableOffset;
    state->dirTable = tableBlock + state->header.dirTableOffset;
    state->currentDir = state->dirTable;
}

// Reads the first 8 bytes and checks the magic with the key of the text and
// then with the second key; the key that fits stays in the state.
int ReadMagic(ArchiveState* state, FileHandle file, const char* keyText, uint8_t* head) {
    ArchiveKeyFromText(keyText, state->key);
    if (ArchiveReadAt(file, head, 8, 0, state->key) == 8 && MagicIsRight(head)) {
        return 0;
    }
    ArchiveSecondKey(state->key);
    if (ArchiveReadAt(file, head, 8, 0, state->key) == 8 && MagicIsRight(head)) {
        return 0;
    }
    LogArchive(ArchiveLog::NotAnArchiveFile);
    return -1;
}

// The header and the table block of an archive file; the file size bounds
// every offset.
int ReadHeaderAndTables(ArchiveState* state, FileHandle file, const char* keyText,
                        uint32_t fileSize) {
    uint8_t head[kArchiveHeaderSizeV4] = {};
    if (fileSize < 8 || ReadMagic(state, file, keyText, head) != 0) {
        if (fileSize < 8) {
            LogArchive(ArchiveLog::ArchiveFileTooShort);
        }
        return -1;
    }
    ParseHeader(head, &state->header);  // the version so far
    if (state->header.version > kArchiveMaxVersion) {
        WriteLogFormat(ArchiveLogText(ArchiveLog::UnsupportedVersion), state->header.version);
        return -1;
    }
    const uint32_t headerSize = ArchiveHeaderSize(state->header.version);
    if (fileSize < headerSize) {
        return Damaged(ArchiveLog::HeaderCut);
    }
    if (ArchiveReadAt(file, head + 8, headerSize - 8, 8, state->key) !=
        static_cast<int>(headerSize - 8)) {
        return Damaged(ArchiveLog::HeaderUnreadable);
    }
    ParseHeader(head, &state->header);
    SetCodePage(state, head);
    if (CheckHeader(state->header, fileSize) != 0) {
        return -1;
    }
    uint8_t* tableBlock =
        static_cast<uint8_t*>(AllocTracked(state->header.tableSize, __FILE__, __LINE__));
    if (tableBlock == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForTables);
        return -1;
    }
    if (ArchiveReadAt(file, tableBlock, state->header.tableSize, state->header.tableOffset,
                      state->key) != static_cast<int>(state->header.tableSize)) {
        FreeTracked(tableBlock);
        return Damaged(ArchiveLog::TablesUnreadable);
    }
    SetTables(state, tableBlock);
    return 0;
}

// Opens the plain file of an archive for synchronous reads and takes its
// size.
FileHandle OpenArchiveFile(const char* path, uint32_t* size) {
    if (std::strlen(path) >= MAX_PATH) {
        return 0;
    }
    FileHandle file = PlainFsOpen(path, 0, 1, 0);
    if (file == 0) {
        return 0;
    }
    PlainFsSeek(file, 0, 2);
    const int32_t end = PlainFsTell(file);
    PlainFsSeek(file, 0, 0);
    *size = end < 0 ? 0 : static_cast<uint32_t>(end);
    return file;
}

bool IsOpen(const ArchiveState* state) {
    return state->image != nullptr || state->file != 0 || state->directFile != 0;
}

// The first step of opening an archive file into a closed state: 0 when the
// state already holds an archive or the file cannot be opened.
FileHandle StartOpeningFile(ArchiveState* state, const char* path, uint32_t* size) {
    if (IsOpen(state)) {
        return 0;
    }
    std::memset(&state->header, 0, sizeof(state->header));
    return OpenArchiveFile(path, size);
}

}  // namespace

namespace archive_detail {

namespace {

const char* const kArchiveLogTexts[] = {
#define TESSEL_ARCHIVE_LOG_ENTRY(name, text) text,
    TESSEL_ARCHIVE_LOG_TEXTS(TESSEL_ARCHIVE_LOG_ENTRY)
#undef TESSEL_ARCHIVE_LOG_ENTRY
};

}  // namespace

const char* ArchiveLogText(ArchiveLog which) {
    return kArchiveLogTexts[static_cast<int>(which)];
}

int LogArchive(ArchiveLog which) {
    return WriteLogFormat("%s", ArchiveLogText(which));
}

int Damaged(ArchiveLog what) {
    WriteLogFormat(ArchiveLogText(ArchiveLog::Damaged), ArchiveLogText(what));
    return -1;
}

void WaitForLoad(ArchiveState* state) {
    while (state->loadPending && ArchivePollLoad(state) == 0) {
        Sleep(0);
    }
}

const uint8_t* DirRecordAt(const ArchiveState* state, uint32_t offset) {
    const uint32_t room = state->header.tableSize - state->header.dirTableOffset;
    if (room < kArchiveDirRecordSize || offset > room - kArchiveDirRecordSize) {
        Damaged(ArchiveLog::BadDirectoryPlace);
        return nullptr;
    }
    return state->dirTable + offset;
}

bool DirEntries(const ArchiveState* state, const uint8_t* dir, const uint8_t** first,
                uint32_t* count) {
    const uint32_t room = state->header.tableSize - state->header.fileTableOffset;
    const uint64_t offset = LoadU32(dir + kDirFirst);
    const uint64_t n = LoadU32(dir + kDirCount);
    if (offset + n * ArchiveEntrySize(state->header.version) > room) {
        Damaged(ArchiveLog::BadDirectoryCount);
        return false;
    }
    *first = state->fileTable + offset;
    *count = static_cast<uint32_t>(n);
    return true;
}

bool EntryName(const ArchiveState* state, const uint8_t* entry, NameView* view) {
    const uint64_t size = state->header.tableSize;
    const uint64_t offset = LoadU32(entry + kEntryName);
    if (offset + 4 > size) {
        Damaged(ArchiveLog::BadNamePlace);
        return false;
    }
    const uint8_t* name = state->nameTable + offset;
    view->wordCount = LoadU16(name);
    view->checksum = LoadU16(name + 2);
    const uint64_t searchEnd = offset + 4 + 4ull * view->wordCount;
    if (view->wordCount == 0 || searchEnd >= size || name[3 + 4 * view->wordCount] != 0) {
        Damaged(ArchiveLog::BadNameLength);
        return false;
    }
    view->search = name + 4;
    view->written = reinterpret_cast<const char*>(state->nameTable + searchEnd);
    if (std::memchr(view->written, 0, size - searchEnd) == nullptr) {
        Damaged(ArchiveLog::NameNotEnded);
        return false;
    }
    return true;
}

bool NameMatchesKey(const NameView& name, const ArchiveNameKey& key) {
    return name.wordCount == key.wordCount && name.checksum == key.checksum &&
           std::memcmp(name.search, key.words, 4u * key.wordCount) == 0;
}

bool EntryIsCompressed(const ArchiveState* state, const uint8_t* entry) {
    return state->header.version >= 2 && LoadU32(entry + kEntryStored) != kArchiveNotCompressed;
}

bool EntryDataRange(const ArchiveState* state, const uint8_t* entry, uint32_t* offset,
                    uint32_t* stored) {
    const uint64_t start =
        static_cast<uint64_t>(state->header.dataStart) + LoadU32(entry + kEntryOffset);
    const uint32_t bytes = EntryIsCompressed(state, entry) ? LoadU32(entry + kEntryStored)
                                                           : LoadU32(entry + kEntrySize);
    if (start + bytes > state->size) {
        Damaged(ArchiveLog::FileDataOutsideArchive);
        return false;
    }
    *offset = static_cast<uint32_t>(start);
    *stored = bytes;
    return true;
}

const char* NextChar(const char* p, int32_t charSet) {
    if (IsLeadByte(p, charSet) && p[1] != '\0') {
        return p + 2;
    }
    return p + 1;
}

}  // namespace archive_detail

uint32_t ArchiveHeaderSize(uint32_t version) {
    return version >= 4 ? kArchiveHeaderSizeV4 : kArchiveHeaderSizeOld;
}

uint32_t ArchiveEntrySize(uint32_t version) {
    return version >= 2 ? kArchiveEntrySize : kArchiveEntrySizeOld;
}

int32_t ArchiveCharSetFromCodePage(uint32_t codePage) {
    switch (codePage) {
        case 932:
            return kCharSetShiftJis;
        case 936:
            return kCharSetSimplifiedChinese;
        case 949:
            return kCharSetKorean;
        case 950:
            return kCharSetTraditionalChinese;
        default:
            return kCharSetDefault;
    }
}

void ArchiveKeyFromText(const char* text, uint8_t key[kArchiveKeySize]) {
    if (text == nullptr || text[0] == '\0') {
        text = kDefaultKeyText;
    }
    const size_t length = std::strlen(text);
    TurnKey(reinterpret_cast<const uint8_t*>(text),
            static_cast<int>(length < kArchiveKeySize ? length : kArchiveKeySize), key);
}

void ArchiveSecondKey(uint8_t key[kArchiveKeySize]) {
    TurnKey(kSecondKeySeed, kArchiveKeySize, key);
}

void ArchiveXorAt(size_t size, void* buffer, uint64_t position,
                  const uint8_t key[kArchiveKeySize]) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    // 24 bytes hold the key twice and three whole 8-byte words, so the
    // pattern can be applied a word at a time.
    uint8_t pattern[24];
    const unsigned phase = static_cast<unsigned>(position % kArchiveKeySize);
    for (int i = 0; i < 24; ++i) {
        pattern[i] = key[(phase + i) % kArchiveKeySize];
    }
    uint64_t words[3];
    std::memcpy(words, pattern, sizeof(words));
    size_t i = 0;
    for (; i + 24 <= size; i += 24) {
        for (int w = 0; w < 3; ++w) {
            uint64_t v;
            std::memcpy(&v, p + i + 8 * w, 8);
            v ^= words[w];
            std::memcpy(p + i + 8 * w, &v, 8);
        }
    }
    for (; i < size; ++i) {
        p[i] ^= pattern[i % 24];
    }
}

int ArchiveStateClear(ArchiveState* state) {
    std::memset(state, 0, sizeof(*state));
    return 0;
}

int ArchiveOpenInMemory(ArchiveState* state, void* buffer, uint32_t size, const char* keyText) {
    if (IsOpen(state)) {
        return -1;
    }
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    if (bytes == nullptr || size < kArchiveHeaderSizeOld) {
        LogArchive(ArchiveLog::DataShorterThanHeader);
        return -1;
    }
    uint8_t head[8];
    ArchiveKeyFromText(keyText, state->key);
    std::memcpy(head, bytes, 8);
    ArchiveXorAt(8, head, 0, state->key);
    if (!MagicIsRight(head)) {
        ArchiveSecondKey(state->key);
        std::memcpy(head, bytes, 8);
        ArchiveXorAt(8, head, 0, state->key);
        if (!MagicIsRight(head)) {
            LogArchive(ArchiveLog::NotArchiveData);
            return -1;
        }
    }
    ArchiveXorAt(size, bytes, 0, state->key);
    ParseHeader(bytes, &state->header);
    if (!MagicIsRight(bytes) || CheckHeader(state->header, size) != 0) {
        ArchiveXorAt(size, bytes, 0, state->key);
        ArchiveStateClear(state);
        return -1;
    }
    SetCodePage(state, bytes);
    SetTables(state, bytes + state->header.tableOffset);
    state->image = bytes;
    state->size = size;
    state->inMemory = 1;
    state->callerBuffer = 1;
    return 0;
}

int ArchiveOpenStreamed(ArchiveState* state, const char* path, const char* keyText) {
    uint32_t fileSize = 0;
    FileHandle file = StartOpeningFile(state, path, &fileSize);
    if (file == 0) {
        return -1;
    }
    if (ReadHeaderAndTables(state, file, keyText, fileSize) != 0) {
        PlainFsClose(file);
        ArchiveStateClear(state);
        return -1;
    }
    state->directFile = file;
    CopyText(state->path, path);
    state->size = fileSize;
    state->inMemory = 0;
    state->callerBuffer = 0;
    return 0;
}

FileHandle ArchiveAsyncFile(ArchiveState* state) {
    if (state->file == 0 && state->path[0] != '\0') {
        state->file = PlainFsOpen(state->path, 0, 1, 1);
    }
    return state->file;
}

int ArchiveOpenImage(ArchiveState* state, const char* path, const char* keyText, int asynchronous) {
    uint32_t fileSize = 0;
    FileHandle file = StartOpeningFile(state, path, &fileSize);
    if (file == 0) {
        return -1;
    }
    uint8_t* image =
        fileSize == 0 ? nullptr : static_cast<uint8_t*>(AllocTracked(fileSize, __FILE__, __LINE__));
    if (image == nullptr || ReadHeaderAndTables(state, file, keyText, fileSize) != 0) {
        if (fileSize != 0 && image == nullptr) {
            LogArchive(ArchiveLog::NoMemoryForLoad);
        }
        PlainFsClose(file);
        if (image != nullptr) {
            FreeTracked(image);
        }
        ArchiveStateClear(state);
        return -1;
    }
    state->image = image;
    state->size = fileSize;
    state->inMemory = 1;
    state->callerBuffer = 0;
    // An asynchronous load goes through a reader thread; otherwise the whole
    // file is read here.
    FileHandle loader = asynchronous ? PlainFsOpen(path, 0, 1, 1) : 0;
    if (loader == 0) {
        const int got = ArchiveReadAt(file, image, fileSize, 0, state->key);
        PlainFsClose(file);
        if (got != static_cast<int>(fileSize)) {
            ArchiveClose(state);
            return Damaged(ArchiveLog::ArchiveUnreadable);
        }
        return 0;
    }
    PlainFsClose(file);
    PlainFsSeek(loader, 0, 0);
    PlainFsRead(image, 1, fileSize, loader);
    state->pendingFile = loader;
    state->loadPending = 1;
    return 0;
}

int ArchivePollLoad(ArchiveState* state) {
    if (!state->loadPending) {
        return 1;
    }
    if (!PlainFsIdle(state->pendingFile)) {
        return 0;
    }
    PlainFsClose(state->pendingFile);
    state->pendingFile = 0;
    ArchiveXorAt(state->size, state->image, 0, state->key);
    state->loadPending = 0;
    return 1;
}

uint8_t* ArchiveImagePtr(ArchiveState* state) {
    WaitForLoad(state);
    return state->inMemory ? state->image : nullptr;
}

int ArchiveClose(ArchiveState* state) {
    if (!IsOpen(state)) {
        return 0;
    }
    WaitForLoad(state);
    if (state->callerBuffer) {
        ArchiveXorAt(state->size, state->image, 0, state->key);
    } else {
        if (state->file != 0) {
            PlainFsClose(state->file);
        }
        if (state->directFile != 0) {
            PlainFsClose(state->directFile);
        }
        if (state->image != nullptr) {
            FreeTracked(state->image);
        }
        if (state->tableBlock != nullptr) {
            FreeTracked(state->tableBlock);
        }
    }
    ArchiveStateClear(state);
    return 0;
}

int ArchiveCloseAndClear(ArchiveState* state) {
    ArchiveClose(state);
    return ArchiveStateClear(state);
}

int ArchiveReadAt(FileHandle file, void* buffer, uint32_t size, int64_t position,
                  const uint8_t key[kArchiveKeySize]) {
    if (position < 0) {
        position = PlainFsTell(file);
    } else if (PlainFsTell(file) != position) {
        PlainFsSeek(file, static_cast<int32_t>(position), 0);
    }
    const uint32_t got = size == 0 ? 0 : PlainFsRead(buffer, 1, size, file);
    while (!PlainFsIdle(file)) {
        Sleep(0);
    }
    ArchiveXorAt(got, buffer, static_cast<uint64_t>(position), key);
    return static_cast<int>(got);
}

int ArchiveNameKeyFromText(const ArchiveState* state, const char* text, ArchiveNameKey* key,
                           int* length) {
    int n = 0;
    uint16_t sum = 0;
    const char* p = text;
    while (*p != '\0' && !IsSeparator(*p)) {
        const char* next = NextChar(p, state->charSet);
        if (next - text > kArchiveNameKeyBytes - 1) {
            LogArchive(ArchiveLog::NameTooLong);
            return -1;
        }
        const bool single = next - p == 1;
        for (; p < next; ++p, ++n) {
            uint8_t c = static_cast<uint8_t>(*p);
            if (single && c >= 'a' && c <= 'z') {
                c = static_cast<uint8_t>(c - 'a' + 'A');
            }
            key->words[n] = c;
            sum = static_cast<uint16_t>(sum + c);
        }
    }
    const int wordCount = (n + 4) / 4;
    std::memset(key->words + n, 0, static_cast<size_t>(4 * wordCount - n));
    key->wordCount = static_cast<uint16_t>(wordCount);
    key->checksum = sum;
    if (length != nullptr) {
        *length = n;
    }
    return 0;
}

int ArchiveFindEntry(ArchiveState* state, const ArchiveNameKey* key) {
    WaitForLoad(state);
    const uint8_t* entry = nullptr;
    uint32_t count = 0;
    if (!DirEntries(state, state->currentDir, &entry, &count)) {
        return -1;
    }
    const uint32_t entrySize = ArchiveEntrySize(state->header.version);
    for (uint32_t i = 0; i < count; ++i, entry += entrySize) {
        if (!IsDirEntry(entry)) {
            continue;
        }
        NameView name;
        if (!EntryName(state, entry, &name)) {
            return -1;
        }
        if (!NameMatchesKey(name, *key)) {
            continue;
        }
        const uint8_t* dir = DirRecordAt(state, LoadU32(entry + kEntryOffset));
        if (dir == nullptr) {
            return -1;
        }
        state->currentDir = const_cast<uint8_t*>(dir);
        return 0;
    }
    return -1;
}

namespace {

// Walks the directories of path[0, end): an empty component makes the root
// current, every other one is entered.
int WalkDirs(ArchiveState* state, const char* path, const char* end, ArchiveNameKey* keyOut) {
    ArchiveNameKey local;
    ArchiveNameKey* key = keyOut != nullptr ? keyOut : &local;
    const char* p = path;
    while (p < end) {
        if (IsSeparator(*p)) {
            state->currentDir = state->dirTable;
            ++p;
            continue;
        }
        int length = 0;
        if (ArchiveNameKeyFromText(state, p, key, &length) != 0 || p + length > end) {
            return -1;
        }
        if (ArchiveFindEntry(state, key) != 0) {
            return -1;
        }
        p += length;
        if (p < end) {
            ++p;  // the separator after the name
        }
    }
    return 0;
}

// The last separator of path, double-byte aware, or null.
const char* LastSeparator(const char* path, int32_t charSet) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; p = NextChar(p, charSet)) {
        if (IsSeparator(*p)) {
            last = p;
        }
    }
    return last;
}

}  // namespace

int ArchiveEnterDir(ArchiveState* state, const char* path, int restore, ArchiveNameKey* keyOut) {
    WaitForLoad(state);
    if (keyOut != nullptr) {
        std::memset(keyOut, 0, sizeof(*keyOut));
    }
    if (std::strcmp(path, ".") == 0) {
        return 0;
    }
    if (std::strcmp(path, "\\") == 0 || std::strcmp(path, "/") == 0) {
        state->currentDir = state->dirTable;
        return 0;
    }
    if (std::strcmp(path, "..") == 0) {
        const uint32_t parent = LoadU32(state->currentDir + kDirParent);
        if (parent == kArchiveNoParent) {
            return -1;
        }
        const uint8_t* dir = DirRecordAt(state, parent);
        if (dir == nullptr) {
            return -1;
        }
        state->currentDir = const_cast<uint8_t*>(dir);
        return 0;
    }
    uint8_t* before = state->currentDir;
    if (WalkDirs(state, path, path + std::strlen(path), keyOut) != 0) {
        if (restore) {
            state->currentDir = before;
        }
        return -1;
    }
    return 0;
}

const uint8_t* ArchiveFindFile(ArchiveState* state, const char* path) {
    WaitForLoad(state);
    uint8_t* before = state->currentDir;
    const char* name = path;
    const char* separator = LastSeparator(path, state->charSet);
    const uint8_t* found = nullptr;
    if (separator != nullptr) {
        name = separator + 1;
        if (WalkDirs(state, path, separator + 1, nullptr) != 0) {
            state->currentDir = before;
            return nullptr;
        }
    }
    ArchiveNameKey key;
    const uint8_t* entry = nullptr;
    uint32_t count = 0;
    if (*name != '\0' && ArchiveNameKeyFromText(state, name, &key, nullptr) == 0 &&
        DirEntries(state, state->currentDir, &entry, &count)) {
        const uint32_t entrySize = ArchiveEntrySize(state->header.version);
        for (uint32_t i = 0; i < count; ++i, entry += entrySize) {
            if (IsDirEntry(entry)) {
                continue;
            }
            NameView view;
            if (!EntryName(state, entry, &view)) {
                break;
            }
            if (NameMatchesKey(view, key)) {
                found = entry;
                break;
            }
        }
    }
    state->currentDir = before;
    return found;
}

int ArchiveEntryLocation(ArchiveState* state, const char* path, uint32_t* offset, uint32_t* size) {
    const uint8_t* entry = ArchiveFindFile(state, path);
    uint32_t start = 0;
    uint32_t stored = 0;
    if (entry == nullptr || !EntryDataRange(state, entry, &start, &stored)) {
        return -1;
    }
    if (offset != nullptr) {
        *offset = start;
    }
    if (size != nullptr) {
        *size = LoadU32(entry + kEntrySize);
    }
    return 0;
}

}  // namespace tessel
