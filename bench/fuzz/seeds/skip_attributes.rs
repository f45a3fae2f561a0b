#![cfg_attr(rustfmt, rustfmt::skip::macros(m))]
#[rustfmt::skip]
fn identity() -> [[i32; 3]; 3] {
    [[1, 0, 0],
     [0, 1, 0],
     [0, 0, 1]]
}
mod m {
    #![rustfmt::skip]
    fn f() {
        if a {
            b();
        } else {
            c();
        }
        d();
    }
}
fn g(x: u8) -> S {
    match x {
        #[cfg_attr(rustfmt, rustfmt_skip)]
        1 => 2,
    }
    S {
        #[rustfmt::skip] a: 1,
    }
}
struct T {
    #[rustfmt :: /* why */ skip]
    a: u8,
}
