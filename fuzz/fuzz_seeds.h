#pragma once
// Seed inputs for the fuzz targets, made by the test database builder: small files in both catalog
// layouts with every column type, values on LOB pages, compressed tables and modules, cut into the
// inputs each target reads. Pages cut from real data files are added by quenlow-fuzz-seeds.

#include <cstddef>
#include <string_view>
#include <vector>

namespace quenlow::fuzz {

using Seed = std::vector<std::byte>;

// The builder seeds of one target (empty for an unknown name).
std::vector<Seed> builder_seeds(std::string_view target);

// Inputs of the page targets cut from a whole file image: its pages by type, for the targets that read
// pages (each seed with the leading choice bytes its target expects). At most per_type pages of each
// page type are taken.
void add_page_seeds(std::string_view target, const std::vector<std::byte>& image, std::size_t per_type,
                    std::vector<Seed>& out);

}  // namespace quenlow::fuzz
