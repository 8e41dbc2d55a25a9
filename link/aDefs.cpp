// The model table: model numbers of the modules and their display names.
#include "aDefs.h"

namespace {

struct ModelName {
  int model;
  const char* name;
};

const ModelName kModels[] = {
    {4, "Alder"},     {5, "Birch"},     {13, "Cedar"},    {14, "Dogwood"},  {15, "Elmwood"},
    {16, "Firwood"},  {17, "Ginkgo"},   {18, "Hazel"},    {19, "Ironwood"}, {20, "Juniper"},
    {21, "Kapok"},    {22, "Larch"},    {23, "Mulberry"}, {24, "Nutmeg"},
};

}  // namespace

const char* aDefs_GetModelName(int model) {
  for (const ModelName& m : kModels)
    if (m.model == model) return m.name;
  return "Unknown";
}
