#include "ui/FormAgreementU.h"

#include "platform/MakerInfo.h"

namespace fota {

std::vector<std::string> AgreementLines() {
    return {
        "FOTA upgrade software agreement.",
        "",
        "This firmware upgrade procedure is irreversible.  ",
        "The procedure may requires a long time (up to 30 minutes)",
        "",
        "IMPORTANT: do not close the software or power off the ",
        "trainer during the upgrade procedure.",
        "",
        "If the procedure fails, you can try to repeat it. In this case, ",
        "we strongly suggest to locate the ANT dongle close to the ",
        "trainer. ",
        "",
        "In some cases the upgrade procedure can lock the trainer, ",
        std::string("in this case please contact us (") + maker::kSupportEmail + ") to have the ",
        "support.",
        "",
        "",
        "Click on \u201CI agree\u201D to accept these conditions.",
        "",
        std::string(maker::kCompanyName) + " ",
        "",
    };
}

}  // namespace fota
