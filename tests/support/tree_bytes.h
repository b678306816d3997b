/*
 * tree_bytes.h - the tests' one writer of status trees as bytes, record by
 * record, without counting bytes.  Counts are given explicitly, so a test
 * can announce more records than it writes; raw() adds any bytes.  block()
 * copies the tree into a heap block of exactly the asked length, so that a
 * read past it is caught by the sanitizer build.
 */
#ifndef XR_TESTS_SUPPORT_TREE_BYTES_H
#define XR_TESTS_SUPPORT_TREE_BYTES_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/rack_query.h"

class TreeBytes {
public:
    explicit TreeBytes(int complexes, const std::string &sysname = "", const std::string &cabname = "")
        : bytes_(sizeof(cmic_cfg_t), 0)
    {
        std::memcpy(bytes_.data(), sysname.data(), std::min<std::size_t>(sysname.size(), 39));
        std::memcpy(bytes_.data() + 40, cabname.data(), std::min<std::size_t>(cabname.size(), 39));
        bytes_[offsetof(cmic_cfg_t, complex_count)] = static_cast<uint8_t>(complexes);
    }
    TreeBytes &complex(int id, int type, int status, int subcomplexes) { return raw({id, type, status, subcomplexes}); }
    /* A subcomplex header; its port id is stored high byte first. */
    TreeBytes &sub(int type, int units, int port = 0) { return raw({type, units, port >> 8, port & 0xFF}); }
    TreeBytes &unit(int id, int status, int psc = 0, int type = 0) { return raw({id, status, psc, type}); }
    /* Units numbered from first_id with the given statuses. */
    TreeBytes &units(int first_id, const std::vector<int> &statuses)
    {
        for (int status : statuses)
            unit(first_id++, status);
        return *this;
    }
    /* A subcomplex with one unit of status 1 per id. */
    TreeBytes &ids(int type, std::initializer_list<int> unit_ids)
    {
        sub(type, static_cast<int>(unit_ids.size()));
        for (int id : unit_ids)
            unit(id, 1);
        return *this;
    }
    TreeBytes &raw(std::initializer_list<int> more)
    {
        for (int v : more)
            bytes_.push_back(static_cast<uint8_t>(v));
        return *this;
    }

    std::vector<uint8_t> &bytes() { return bytes_; }
    cmic_cfg_t *tree() { return reinterpret_cast<cmic_cfg_t *>(bytes_.data()); }
    const uint8_t *at(std::size_t offset) const { return bytes_.data() + offset; }

    /* The tree in a heap block of exactly `length` bytes (all by default). */
    const cmic_cfg_t *block(std::size_t length = SIZE_MAX)
    {
        length_ = std::min(length, bytes_.size());
        block_ = std::make_unique<uint8_t[]>(length_ == 0 ? 1 : length_);
        std::memcpy(block_.get(), bytes_.data(), length_);
        return reinterpret_cast<const cmic_cfg_t *>(block_.get());
    }
    std::size_t length() const { return length_; }

private:
    std::vector<uint8_t> bytes_;
    std::unique_ptr<uint8_t[]> block_;
    std::size_t length_ = 0;
};

#endif
