#pragma once
// Word lists the generators draw Traditional Chinese names from. Every text is UTF-8 and
// representable in Big5.

#include <string>
#include <vector>

namespace pos::headoffice {

struct Department {
  std::string id, name;
};

struct TopCategory {
  std::string id, name, department;
  std::string product_class;  // fixed product class for the whole category, or empty
};

// A group's products share brands, pack sizes and units.
struct Group {
  std::string id, name, top;
  std::vector<std::string> brands, sizes, units;
};

struct SmallCategory {
  std::string id, name, group, top;
};

struct Catalog {
  std::vector<Department> departments;
  std::vector<TopCategory> tops;
  std::vector<Group> groups;
  std::vector<SmallCategory> smalls;
  std::vector<std::pair<std::string, std::string>> product_classes;  // id, name
  std::vector<std::string> variants;

  std::vector<std::string> surnames, given_names, cities, roads, job_titles, areas;
  std::vector<std::pair<std::string, std::string>> shifts;  // name, start time
  std::vector<std::string> promotion_reasons, gift_reasons, key_memos, card_remarks;

  const TopCategory& top(const std::string& id) const;
  const Group& group(const std::string& id) const;
};

const Catalog& catalog();

}  // namespace pos::headoffice
