// The recorder's setup database as the setup window and setup files take
// it: the input is laid over a zeroed 64,512-byte record (so seeds need only
// the part the client reads), turned to host order and back, listed, and
// written to and read from a setup file. Turning it to host order and back
// must give every byte back unchanged.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "orva/setup/setup_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(orva::kSetupDatabaseSize, 0);
  std::copy(data, data + std::min(size, image.size()), image.begin());
  orva::SetupDatabase db;
  std::string error;
  if (!orva::SetupDatabase::FromBytes(image, db, error)) std::abort();  // the right size always loads
  const orva::SetupDatabase original = db;

  db.ToHostOrder();
  (void)orva::ShowSetup(db);
  (void)db.Users();
  (void)db.NewerThan41();
  if (db.NetworkBytes() != image) std::abort();  // the typed view never changes a byte
  db.ToNetworkOrder();
  if (std::vector<uint8_t>(db.Bytes().begin(), db.Bytes().end()) != image) std::abort();
  if (!orva::DiffSetup(original, db).empty() || orva::DiffUninterpretedBytes(original, db) != 0) std::abort();

  const auto path = orva::fuzz::ScratchFolder::Get().Path() / "setup.bin";
  if (orva::SaveSetupFile(path.string(), db, error)) {
    orva::SetupDatabase loaded;
    if (!orva::LoadSetupFile(path.string(), loaded, error, &original) || loaded.NetworkBytes() != image) std::abort();
  }
  return 0;
}
