#pragma once

class Report;

// The two result reports, each made on its first use and kept for the rest of the run.
// The results list: one line per subject under the clinic's name, the address at the end.
Report& DataRPrint();
// The result sheet of one subject on a framed page.
Report& DataR1();
