#include "chips/Driver.h"

namespace quillon {

namespace {

template <class Operation>
void Add(OperationList<Operation>& list, Operation op)
{
    if (op && list.count < list.op.size()) list.op[list.count++] = op;
}

}  // namespace

OperationList<Driver::FuseRead> LockFuseReadSequence(const Driver& driver)
{
    OperationList<Driver::FuseRead> list;
    if (driver.ReadFuseLockBits) {
        Add(list, driver.ReadFuseLockBits);
        return list;
    }
    Add(list, driver.ReadLockBits);
    Add(list, driver.ReadFuseExtended);
    Add(list, driver.ReadFuseHigh);
    Add(list, driver.ReadFuseLow);
    return list;
}

OperationList<Driver::FuseWrite> LockFuseWriteSequence(const Driver& driver)
{
    OperationList<Driver::FuseWrite> list;
    Add(list, driver.WriteFuseExtended);
    Add(list, driver.WriteFuseHigh);
    Add(list, driver.WriteFuseLow);
    Add(list, driver.WriteLockBits);  // always last: locking first could bar the fuse writes
    return list;
}

}  // namespace quillon
