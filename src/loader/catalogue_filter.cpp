#include "loader/catalogue_filter.h"

namespace nurv {

bool FilterCatalogue(db::Dataset& catalogue, std::string_view code) {
  catalogue.SetFiltered(false);
  catalogue.SetFilter(db::RowFilter{"tdoc", std::string(code)});
  catalogue.SetFiltered(true);
  if (catalogue.RecordCount() == 0) return false;
  catalogue.First();
  return true;
}

}  // namespace nurv
