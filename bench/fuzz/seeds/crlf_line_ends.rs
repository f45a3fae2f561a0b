dfn f(x: u8) -> u8 {
    match x {
        0 => 1,
        _ => {
            x
        }
    }
}

fn g() {
    if true {
        f(0);
    } else {
        f(1);
    }
    f(2);
}
