#pragma once

// The JSON description of Snapshot: every key always written, the lists and
// the map required on reading.

#include "model/event/snapshot.h"
#include "model/json/record.h"

namespace revizer::event {

namespace record {

using namespace json::describe;

inline constexpr json::Record kSnapshot{"struct Snapshot",
                                        field<Always, Required>("snapshot_id", &Snapshot::snapshot_id),
                                        field<Always, Optional>("working_dir", &Snapshot::working_dir),
                                        field<Always, Required>("open_files", &Snapshot::open_files),
                                        field<Always, Optional>("git_branch", &Snapshot::git_branch),
                                        field<Always, Required>("variables", &Snapshot::variables)};

}  // namespace record

constexpr const auto& json_record(const Snapshot*) { return record::kSnapshot; }

}  // namespace revizer::event
