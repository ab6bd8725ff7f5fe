#include "loader/catalogue_filter.h"

namespace nurv {

std::string QuotedLiteral(std::string_view text) {
  std::string literal = "'";
  for (char c : text) {
    if (c == '\'') literal += '\'';
    literal += c;
  }
  literal += '\'';
  return literal;
}

bool FilterCatalogue(db::Dataset& catalogue, std::string_view code) {
  catalogue.SetFiltered(false);
  catalogue.SetFilter("tdoc = " + QuotedLiteral(code));
  catalogue.SetFiltered(true);
  if (catalogue.RecordCount() == 0) return false;
  catalogue.First();
  return true;
}

}  // namespace nurv
