// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A read-only FUSE file system that lies the ways a broken or racing file
// system can. Each folder under its root is one case:
//   cycle/    holds loop/, whose d/ is loop/ again, same inode, at every level
//   long/     names of 256 to 1,024 bytes, files and a folder
//   vanish/   entries listed whose stat fails (ENOENT, EIO, EACCES), and
//             folders that stat but cannot be opened (EIO, EACCES)
//   links/    one file under several names in several folders
//   retype/   entries listed as folders that stat as files, and the reverse
//   flip/     entries whose type changes on every look
//   eio/      folders whose listing fails with EIO half-way
//   slow/     every listing and look takes milliseconds
//   blocks/   files allocated far beyond their length, up to 2^63 in all
// Sizes, counts, name lengths and where listings fail come from --seed=N, so
// a seed replays a tree. Attributes and entries are never cached by the
// kernel: every stat reaches this program. The kernel takes names of up to
// 1,024 bytes from a FUSE file system, so long/ serves them whole. Device
// numbers cannot lie here: the kernel gives every entry the mount's st_dev.
// A type change is caught by the kernel itself, which then answers EIO.
//   hostilefs [--seed=N] MOUNTPOINT [FUSE options]

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Node
{
    std::string name;
    bool dir = false;
    bool listedAsDir = false; // the type its parent's listing gives
    int statError = 0;        // listed, but stat fails with this
    int openError = 0;        // a folder that stats, but opening it fails with this
    bool flips = false;       // file and folder on alternate looks
    bool cycle = false;       // child "d" is this folder again
    long eioAfter = -1;       // listing fails after this many entries
    unsigned slowUs = 0;      // delay of every listing call and look
    std::uint64_t size = 0;
    std::uint64_t blocks = 0;
    std::uint64_t ino = 0;
    unsigned links = 1;
    std::vector<std::unique_ptr<Node>> children;
};

Node root;
std::uint64_t nextIno = 1;
std::atomic<unsigned> looks{0};

Node *add(Node &parent, std::string name, bool dir, std::uint64_t size = 0)
{
    auto node = std::make_unique<Node>();
    node->name = std::move(name);
    node->dir = node->listedAsDir = dir;
    node->size = dir ? 4096 : size;
    node->blocks = (node->size + 4095) / 4096 * 8;
    node->ino = ++nextIno;
    node->slowUs = parent.slowUs;
    parent.children.push_back(std::move(node));
    return parent.children.back().get();
}

void build(unsigned seed)
{
    std::mt19937_64 random(seed);
    auto pick = [&](std::uint64_t low, std::uint64_t high) {
        return std::uniform_int_distribution<std::uint64_t>(low, high)(random);
    };
    root.dir = true;
    root.ino = 1;

    Node *cycle = add(root, "cycle", true);
    add(*cycle, "f", false, pick(1, 1 << 20));
    Node *loop = add(*cycle, "loop", true);
    loop->cycle = true;
    add(*loop, "g", false, pick(1, 1 << 20));

    Node *longNames = add(root, "long", true);
    for (std::size_t length : {std::size_t(256), std::size_t(pick(257, 1023)), std::size_t(1024)})
        add(*longNames, std::string(length, 'a' + length % 26), false, pick(1, 1 << 20));
    Node *longDir = add(*longNames, std::string(pick(256, 1024), 'D'), true);
    add(*longDir, std::string(pick(256, 1024), 'f'), false, pick(1, 1 << 20));

    Node *vanish = add(root, "vanish", true);
    for (int error : {ENOENT, EIO, EACCES})
        add(*vanish, "gone-" + std::to_string(error), error == EIO, pick(1, 1 << 20))->statError = error;
    for (int error : {EIO, EACCES})
        add(*add(*vanish, "shut-" + std::to_string(error), true), "f", false, 1)->size = 1;
    vanish->children[3]->openError = EIO;
    vanish->children[4]->openError = EACCES;
    add(*vanish, "kept", false, pick(1, 1 << 20));

    // Hard links: counted once, whichever folder the walk meets them in.
    Node *links = add(root, "links", true);
    Node *first = add(*links, "l0", false, pick(1, 1 << 20));
    for (int i = 1; i < 4; ++i) {
        Node *copy = add(*add(*links, "in" + std::to_string(i), true), "l" + std::to_string(i), false);
        copy->size = first->size;
        copy->blocks = first->blocks;
        copy->ino = first->ino;
        copy->links = 4;
    }
    first->links = 4;

    Node *retype = add(root, "retype", true);
    add(*retype, "was-file", false, pick(1, 1 << 20))->listedAsDir = true;
    Node *wasDir = add(*retype, "was-dir", true);
    wasDir->listedAsDir = false;
    add(*wasDir, "inside", false, pick(1, 1 << 20));

    Node *flip = add(root, "flip", true);
    for (int i = 0; i < 8; ++i) {
        Node *f = add(*flip, "x" + std::to_string(i), true);
        f->flips = true;
        f->size = pick(1, 1 << 20);
    }

    // Listings return at most a page per call: 300 entries take several
    // calls, so a failure after some of them comes after entries were read.
    Node *eio = add(root, "eio", true);
    eio->eioAfter = long(pick(100, 250));
    for (int i = 0; i < 300; ++i)
        add(*eio, "e" + std::to_string(i), false, pick(1, 1 << 16));
    Node *eioInner = add(*eio, "e-inner", true);
    eioInner->eioAfter = 1;
    for (int i = 0; i < 3; ++i)
        add(*eioInner, "i" + std::to_string(i), false, pick(1, 1 << 16));
    // The folder that fails sits last, after the point where the listing
    // fails: move it to the front.
    std::rotate(eio->children.begin(), eio->children.end() - 1, eio->children.end());

    Node *slow = add(root, "slow", true);
    slow->slowUs = unsigned(pick(1000, 3000));
    for (int i = 0; i < 4; ++i) {
        Node *sub = add(*slow, "s" + std::to_string(i), true);
        for (int j = 0; j < 10; ++j)
            add(*sub, "f" + std::to_string(j), false, pick(1, 1 << 20));
    }

    Node *blocks = add(root, "blocks", true);
    for (int i = 0; i < 5; ++i) {
        Node *f = add(*blocks, "b" + std::to_string(i), false, 1);
        // 2^59 to 2^60 bytes each: the five add up to less than 2^63, where
        // quarn's sums stop by design.
        f->blocks = pick(std::uint64_t(1) << 50, std::uint64_t(1) << 51);
    }
}

// The node path names, or nullptr and the error a look at it gets.
Node *resolve(const char *path, int &error)
{
    error = ENOENT;
    Node *node = &root;
    for (const char *p = path; *p;) {
        while (*p == '/')
            ++p;
        if (!*p)
            break;
        const char *end = std::strchr(p, '/');
        std::string name(p, end ? std::size_t(end - p) : std::strlen(p));
        p += name.size();
        if (node->cycle && name == "d")
            continue;
        Node *next = nullptr;
        for (auto &child : node->children)
            if (child->name == name)
                next = child.get();
        if (!next || next->statError) {
            error = next ? next->statError : ENOENT;
            return nullptr;
        }
        node = next;
    }
    return node;
}

void fill(const Node &node, bool dir, struct stat *st)
{
    std::memset(st, 0, sizeof *st);
    st->st_ino = node.ino;
    st->st_mode = dir ? S_IFDIR | 0755 : S_IFREG | 0644;
    st->st_nlink = dir ? 2 : node.links;
    st->st_size = off_t(node.size);
    st->st_blocks = blkcnt_t(node.blocks);
}

int getattrOp(const char *path, struct stat *st, fuse_file_info *)
{
    int error;
    Node *node = resolve(path, error);
    if (!node)
        return -error;
    if (node->slowUs)
        usleep(node->slowUs);
    fill(*node, node->flips ? looks++ % 2 : node->dir, st);
    return 0;
}

int readdirOp(const char *path, void *buffer, fuse_fill_dir_t filler, off_t offset, fuse_file_info *,
              fuse_readdir_flags)
{
    int error;
    Node *node = resolve(path, error);
    if (!node)
        return -error;
    if (!node->dir && !node->flips)
        return -ENOTDIR;
    if (node->slowUs)
        usleep(node->slowUs);
    std::vector<const Node *> entries;
    if (node->cycle)
        entries.push_back(node);
    for (auto &child : node->children)
        entries.push_back(child.get());
    if (node->eioAfter >= 0 && offset >= node->eioAfter)
        return -EIO;
    for (std::size_t i = std::size_t(offset); i < entries.size(); ++i) {
        if (node->eioAfter >= 0 && long(i) >= node->eioAfter)
            break;
        struct stat st;
        fill(*entries[i], entries[i]->listedAsDir, &st);
        if (filler(buffer, entries[i] == node ? "d" : entries[i]->name.c_str(), &st, off_t(i + 1),
                   fuse_fill_dir_flags(0)))
            break;
    }
    return 0;
}

int opendirOp(const char *path, fuse_file_info *)
{
    int error;
    Node *node = resolve(path, error);
    return !node ? -error : node->openError ? -node->openError : 0;
}

int statfsOp(const char *, struct statvfs *st)
{
    std::memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_namemax = 1024;
    return 0;
}

void *initOp(fuse_conn_info *, fuse_config *config)
{
    config->use_ino = 1;
    config->readdir_ino = 1;
    config->entry_timeout = config->attr_timeout = config->negative_timeout = 0;
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    unsigned seed = 1;
    if (argc > 1 && std::strncmp(argv[1], "--seed=", 7) == 0) {
        seed = unsigned(std::strtoul(argv[1] + 7, nullptr, 10));
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
    build(seed);
    fuse_operations ops{};
    ops.getattr = getattrOp;
    ops.opendir = opendirOp;
    ops.readdir = readdirOp;
    ops.statfs = statfsOp;
    ops.init = initOp;
    return fuse_main(argc, argv, &ops, nullptr);
}
